#pragma once

#include <cstdint>
#include <string>

#include "audio/level_set.h"

namespace sonaro {

// The pixel and colour rules of the capture-level meters: the main window's input meter
// (VoiceLevelMeter) and the record-volume dialog's bar (LDBDisplay). Levels are dB on the capture
// engine's scale; x positions are pixels from the control's left edge.

inline constexpr int kCaptureMeterMinDb = -36;
inline constexpr int kCaptureMeterMaxDb = 12;

struct MeterRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const MeterRgb&, const MeterRgb&) = default;
};

inline constexpr MeterRgb kMeterBackground{216, 213, 213};
inline constexpr MeterRgb kMeterGreen{0, 255, 0};
inline constexpr MeterRgb kMeterRed{255, 0, 0};
inline constexpr MeterRgb kMarkerTabEnabled{195, 203, 234};
inline constexpr MeterRgb kMarkerTabDisabled{200, 200, 200};
inline constexpr MeterRgb kDbDisplayBackground{40, 40, 40};

// A horizontal stretch of pixels, both ends included.
struct PixelSpan {
    int left = 0;
    int right = -1;
    bool empty() const { return right < left; }
};

// A band of rows: `top` and `height` in pixels.
struct PixelBand {
    int top = 0;
    int height = 0;
};

// The input meter's scale over a control `width` pixels wide with `margin` pixels left and right.
class VoiceMeterScale {
  public:
    static constexpr int kSegmentWidth = 2;
    static constexpr int kSegmentStep = 3;

    VoiceMeterScale(int width, int margin, int minDb = kCaptureMeterMinDb,
                    int maxDb = kCaptureMeterMaxDb);

    // floor((level - min) / (max - min) * (width - 2 * margin)) + margin, the level held to the
    // range first, so silence sits at the left margin and +12 dB at the right one.
    int LevelX(int level) const;
    // Left edges of the segments lit for `level`: margin + 1, then every 3 pixels, each starting
    // left of the level's position.
    int SegmentCount(int level) const;
    int SegmentX(int index) const { return m_margin + 1 + index * kSegmentStep; }
    // Green left of the 0 dB position, red from it on.
    MeterRgb SegmentColour(int segmentX) const;
    // What must be repainted when the levels change from `before` to `after` (same count): from
    // one pixel left of the lowest position to one pixel right of the highest.
    PixelSpan ChangedSpan(const LevelSet& before, const LevelSet& after) const;
    // The marker level while dragging: the level at the press moved by the pointer's travel at
    // the scale's own pixels per dB, held to the range. So a press without movement keeps the
    // level and the marker stays under the pointer.
    int DraggedLevel(int levelAtPress, int pressX, int pointerX) const;

    int width() const { return m_width; }
    int margin() const { return m_margin; }

  private:
    int m_width;
    int m_margin;
    int m_minDb;
    int m_maxDb;
};

// Band `index` of `count` equal bands over `height` rows; the last takes the remainder. `gap`
// pixels separate the bands.
PixelBand BandOf(int index, int count, int height, int gap = 0);

// The marker tab's text: "<label> (<level>db)".
std::string MarkerTabText(const std::string& label, int level);

// The record-volume dialog's bar: x = (level + 36) * width / 48 with the level held to
// [-36, 12]. Green up to min(level, 0), red from 0 dB to the level when it is above.
int DbDisplayX(int level, int width);
int ClampDbDisplayLevel(int level);

// The number box of the dB slider: "<value>dB", or "--dB" at -127 and below.
std::string DbEditText(int value);
// Typed text to a value: digits accumulate, a '-' makes it negative and a second '-' makes the
// magnitude 127, anything else is ignored, empty text is 0; held to [-127, 127].
int ParseDbEditText(const std::string& text);

}  // namespace sonaro
