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

// `sample` kept to what 16 bits shifted left by 4 can hold, so wider PCM stores it unwrapped.
constexpr InternalSample SaturateInternal(InternalSample sample) {
    return sample < -kInternalFullScale      ? -kInternalFullScale
           : sample > kInternalFullScale - 1 ? kInternalFullScale - 1
                                             : sample;
}

// (x + 8) >> 4, saturated to 16 bits: a filter that rings past full scale (a rate converter)
// clips instead of wrapping round to the opposite sign.
constexpr std::int16_t ToPcm16(InternalSample sample) {
    const std::int64_t rounded = (static_cast<std::int64_t>(sample) + 8) >> kInternalShift;
    return static_cast<std::int16_t>(rounded < -32768 ? -32768 : rounded > 32767 ? 32767 : rounded);
}

// Converts `count` 16-bit samples into internal samples.
void ConvertPcm16ToInternal(const std::int16_t* pcm, InternalSample* out, std::int64_t count);

}  // namespace sonaro
