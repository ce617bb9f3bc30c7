#include "audio/level_set.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sonaro {

std::int8_t LevelFromPeak(std::int32_t peak) {
    if (peak <= 0) {
        return LevelSet::kSilence;
    }
    const double db = std::round(20.0 * std::log10(static_cast<double>(peak) / kZeroDbPeak));
    return static_cast<std::int8_t>(std::clamp(db, -127.0, 127.0));
}

std::int32_t ChannelPeak(const InternalSample* samples, int frames, int channels, int channel) {
    std::int64_t peak = 0;
    const InternalSample* sample = samples + channel;
    for (int i = 0; i < frames; ++i, sample += channels) {
        peak = std::max<std::int64_t>(peak, std::llabs(*sample));
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(peak, INT32_MAX));
}

std::int8_t ComputeBlockLevels(const InternalSample* samples, int frames, int channels,
                               std::int8_t* levels) {
    const int count = std::min(channels, LevelSet::kMaxChannels);
    for (int ch = 0; ch < count; ++ch) {
        levels[ch] = LevelFromPeak(ChannelPeak(samples, frames, channels, ch));
    }
    return count > 1 ? std::max(levels[0], levels[1]) : levels[0];
}

}  // namespace sonaro
