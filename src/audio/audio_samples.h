#pragma once

#include <cstdint>

namespace sonaro {

// Internal samples: interleaved signed 32-bit integers holding a 16-bit PCM value shifted left by
// 4 bits, so full scale is 524288. Every block that travels between audio objects holds at most
// kMaxBlockFrames frames.
using InternalSample = std::int32_t;

inline constexpr int kInternalShift = 4;
inline constexpr int kMaxBlockFrames = 8192;
inline constexpr std::int32_t kInternalFullScale = 32768 << kInternalShift;

// The sample rates a recording may use, in frames per second: what capture devices open. Rates
// outside come only from typing errors and would make converters and buffers absurdly large.
inline constexpr long kMinSampleRate = 1000;
inline constexpr long kMaxSampleRate = 384000;

constexpr bool IsSupportedSampleRate(long long rate) {
    return rate >= kMinSampleRate && rate <= kMaxSampleRate;
}

constexpr InternalSample ToInternalSample(std::int16_t pcm) {
    return static_cast<InternalSample>(pcm) * (1 << kInternalShift);
}

// (x + 8) >> 4 kept to 16 bits without saturation, as the writers of 16-bit PCM store it.
constexpr std::int16_t ToPcm16(InternalSample sample) {
    return static_cast<std::int16_t>((sample + 8) >> kInternalShift);
}

// Converts `count` 16-bit samples into internal samples.
void ConvertPcm16ToInternal(const std::int16_t* pcm, InternalSample* out, std::int64_t count);

}  // namespace sonaro
