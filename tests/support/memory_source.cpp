#include "support/memory_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace sonaro::test {

MemorySource::MemorySource(int rate, int channels, std::vector<InternalSample> samples,
                           std::int32_t peakBound, bool growing)
    : AudioSource(rate, peakBound, channels), m_samples(std::move(samples)), m_growing(growing) {}

std::int64_t MemorySource::GetLength() const {
    return static_cast<std::int64_t>(m_samples.size()) / channels();
}

void MemorySource::Read(InternalSample* dest, int frames) {
    const auto channelCount = static_cast<std::size_t>(channels());
    for (int f = 0; f < frames; ++f, ++m_position) {
        for (std::size_t c = 0; c < channelCount; ++c) {
            const std::size_t at = static_cast<std::size_t>(m_position) * channelCount + c;
            *dest++ = m_position < GetLength() ? m_samples[at] : 0;
        }
    }
    m_framesRead += frames;
}

std::vector<InternalSample> InternalSine(int frames, int channels, int rate, double hertz,
                                         double amplitude) {
    std::vector<InternalSample> samples(static_cast<std::size_t>(frames) * channels);
    for (int f = 0; f < frames; ++f) {
        const double value = amplitude * std::sin(2 * std::numbers::pi * hertz * f / rate);
        for (int c = 0; c < channels; ++c) {
            samples[static_cast<std::size_t>(f) * channels + c] =
                static_cast<InternalSample>(std::lround(c == 0 ? value : -value));
        }
    }
    return samples;
}

}  // namespace sonaro::test
