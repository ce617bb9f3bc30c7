#pragma once

#include <array>
#include <vector>

#include "audio/level_set.h"
#include "record/level_meter_scale.h"

namespace sonaro {

// The player's level meter without its window: dB relative to full scale from -48 to 0 over a
// width in pixels, a colour per pixel column, and two falling peak markers. Levels arrive on the
// capture engine's scale (0 dB = a quarter of full scale) and are shifted by 12 dB.
class PeakMeterScale {
  public:
    static constexpr int kMinDb = -48;
    static constexpr int kMaxDb = 0;
    static constexpr int kMarkers = 2;
    static constexpr int kHoldTicks = 8;
    static constexpr int kFallTimerMs = 50;

    struct PeakMarker {
        int position = 0;  // pixels
        int speed = 1;     // pixels per tick, growing while it falls
        int hold = 0;      // ticks held at the position so far
    };

    explicit PeakMeterScale(int width = 0) { Resize(width); }

    // Rebuilds the position table and the colour strip; markers keep their positions.
    void Resize(int width);
    int width() const { return m_width; }

    // 3 dB above 270 pixels, 6 above 140, else 12.
    static int TickStep(int width);
    // floor((d - min) / (max - min) * width) for d in [min, max].
    int PositionOf(int db) const;
    // The strip's colour at column x: green to yellow up to half the 0 dB position, then yellow
    // to orange.
    MeterRgb ColourAt(int x) const;

    // The filled width for a capture-scale level: level - 12, held to [-127, 0], below the
    // minimum counts as the minimum.
    int LevelX(int level) const;
    // The filled width for a level of channel `channel` (0 or 1 move a marker): raises the
    // channel's marker when the level reaches it. Returns the width; `raised` tells whether a
    // marker rose (the fall timer must run).
    int ApplyLevel(int channel, int level, bool& raised);
    // One fall-timer tick. False once both markers rest at 0 (the timer may stop).
    bool Tick();
    const PeakMarker& marker(int channel) const { return m_markers[channel]; }

  private:
    int m_width = 0;
    std::array<int, kMaxDb - kMinDb + 1> m_positions{};
    std::vector<MeterRgb> m_strip;
    std::array<PeakMarker, kMarkers> m_markers{};
};

}  // namespace sonaro
