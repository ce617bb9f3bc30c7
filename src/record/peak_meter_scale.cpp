#include "record/peak_meter_scale.h"

#include <algorithm>
#include <cmath>

namespace sonaro {
namespace {

std::uint8_t roundComponent(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

void PeakMeterScale::Resize(int width) {
    m_width = std::max(width, 0);
    for (int d = kMinDb; d <= kMaxDb; ++d) {
        m_positions[d - kMinDb] = (d - kMinDb) * m_width / (kMaxDb - kMinDb);
    }
    const int zeroX = m_positions.back();
    const int half = zeroX / 2;
    m_strip.assign(m_width, MeterRgb{255, 153, 0});
    for (int x = 0; x < m_width && x <= zeroX; ++x) {
        if (half == 0) {
            m_strip[x] = kMeterGreen;
        } else if (x <= half) {
            m_strip[x] = {roundComponent(255.0 * x / half), 255, 0};
        } else {
            m_strip[x] = {255, roundComponent(255.0 - 102.0 * (x - half) / half), 0};
        }
    }
}

int PeakMeterScale::TickStep(int width) {
    if (width > 270) {
        return 3;
    }
    return width > 140 ? 6 : 12;
}

int PeakMeterScale::PositionOf(int db) const {
    return m_positions[std::clamp(db, kMinDb, kMaxDb) - kMinDb];
}

MeterRgb PeakMeterScale::ColourAt(int x) const {
    if (m_strip.empty()) {
        return kMeterGreen;
    }
    return m_strip[std::clamp(x, 0, m_width - 1)];
}

int PeakMeterScale::LevelX(int level) const {
    const int db = std::min(std::clamp(level - 12, -127, 127), kMaxDb);
    return PositionOf(std::max(db, kMinDb));
}

int PeakMeterScale::ApplyLevel(int channel, int level, bool& raised) {
    raised = false;
    const int x = LevelX(level);
    if (channel >= 0 && channel < kMarkers) {
        PeakMarker& peak = m_markers[channel];
        if (x >= peak.position && x > 0) {
            peak = {x, 1, 0};
            raised = true;
        }
    }
    return x;
}

bool PeakMeterScale::Tick() {
    for (PeakMarker& peak : m_markers) {
        if (peak.hold < kHoldTicks) {
            ++peak.hold;
        } else if (peak.position > peak.speed) {
            peak.position -= peak.speed;
            ++peak.speed;
        } else {
            peak.position = 0;
        }
    }
    return std::any_of(m_markers.begin(), m_markers.end(),
                       [](const PeakMarker& peak) { return peak.position != 0; });
}

}  // namespace sonaro
