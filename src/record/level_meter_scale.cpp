#include "record/level_meter_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sonaro {

VoiceMeterScale::VoiceMeterScale(int width, int margin, int minDb, int maxDb)
    : m_width(std::max(width, 0)),
      m_margin(std::max(margin, 0)),
      m_minDb(minDb),
      m_maxDb(std::max(maxDb, minDb + 1)) {}

int VoiceMeterScale::LevelX(int level) const {
    const int held = std::clamp(level, m_minDb, m_maxDb);
    const int span = std::max(m_width - 2 * m_margin, 0);
    const int range = m_maxDb - m_minDb;
    return (held - m_minDb) * span / range + m_margin;
}

int VoiceMeterScale::SegmentCount(int level) const {
    const int end = LevelX(level);
    const int first = SegmentX(0);
    if (end <= first) {
        return 0;
    }
    return (end - first + kSegmentStep - 1) / kSegmentStep;
}

MeterRgb VoiceMeterScale::SegmentColour(int segmentX) const {
    return segmentX < LevelX(0) ? kMeterGreen : kMeterRed;
}

PixelSpan VoiceMeterScale::ChangedSpan(const LevelSet& before, const LevelSet& after) const {
    const int count = std::min<int>(std::max(before.count, after.count), LevelSet::kMaxChannels);
    if (count == 0) {
        return {};
    }
    int lowest = LevelX(kCaptureMeterMaxDb);
    int highest = LevelX(kCaptureMeterMinDb);
    for (int i = 0; i < count; ++i) {
        for (int level : {before.levels[i], after.levels[i]}) {
            lowest = std::min(lowest, LevelX(level));
            highest = std::max(highest, LevelX(level));
        }
    }
    return {lowest - 1, highest + 1};
}

int VoiceMeterScale::DraggedLevel(int levelAtPress, int pressX, int pointerX) const {
    const int span = std::max(m_width - 2 * m_margin, 1);
    const double perPixel = static_cast<double>(m_maxDb - m_minDb) / span;
    const long moved = std::lround((pointerX - pressX) * perPixel);
    const long level = std::clamp<long>(levelAtPress + moved, m_minDb, m_maxDb);
    return static_cast<int>(std::clamp<long>(level, -127, 127));
}

PixelBand BandOf(int index, int count, int height, int gap) {
    if (count <= 0) {
        return {0, height};
    }
    const int each = std::max((height - (count - 1) * gap) / count, 0);
    const int top = index * (each + gap);
    const bool last = index == count - 1;
    return {top, last ? std::max(height - top, 0) : each};
}

std::string MarkerTabText(const std::string& label, int level) {
    return label + " (" + std::to_string(level) + "db)";
}

int ClampDbDisplayLevel(int level) {
    return std::clamp(level, kCaptureMeterMinDb, kCaptureMeterMaxDb);
}

int DbDisplayX(int level, int width) {
    return (ClampDbDisplayLevel(level) - kCaptureMeterMinDb) * width /
           (kCaptureMeterMaxDb - kCaptureMeterMinDb);
}

std::string DbEditText(int value) {
    if (value <= -127) {
        return "--dB";
    }
    return std::to_string(value) + "dB";
}

int ParseDbEditText(const std::string& text) {
    constexpr int kLimit = 127;
    int magnitude = 0;
    int minusSigns = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            magnitude = std::min(magnitude * 10 + (c - '0'), 10 * kLimit);
        } else if (c == '-') {
            ++minusSigns;
            if (minusSigns >= 2) {
                magnitude = kLimit;
            }
        }
    }
    const int value = minusSigns > 0 ? -magnitude : magnitude;
    return std::clamp(value, -kLimit, kLimit);
}

}  // namespace sonaro
