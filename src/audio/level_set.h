#pragma once

#include <array>
#include <cstdint>

#include "audio/audio_samples.h"

namespace sonaro {

// Levels in dB of the latest block, one per channel; -127 means silence. 0 dB is a quarter of
// full scale (a peak of 131072 internal), so the loudest block reads about +12 dB.
struct LevelSet {
    static constexpr int kMaxChannels = 8;
    static constexpr std::int8_t kSilence = -127;

    std::uint8_t count = 0;
    std::array<std::int8_t, kMaxChannels> levels{};
};

inline constexpr std::int32_t kZeroDbPeak = 131072;

// 20 * log10(peak / 131072) rounded half away from zero, clamped to [-127, 127]; -127 for 0.
std::int8_t LevelFromPeak(std::int32_t peak);

// The largest absolute sample of `channel` among `frames` interleaved frames.
std::int32_t ChannelPeak(const InternalSample* samples, int frames, int channels, int channel);

// The levels of the first min(channels, kMaxChannels) channels into `levels[0..]`, and the block
// level: the larger of the first two.
std::int8_t ComputeBlockLevels(const InternalSample* samples, int frames, int channels,
                               std::int8_t* levels);

}  // namespace sonaro
