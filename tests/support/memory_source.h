#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_source.h"

namespace sonaro::test {

// A source over samples held in memory, with a chosen peak bound; reads silence past the end
// and counts the frames asked of it. `growing` makes IsGrowing true, as for a file still
// being recorded.
class MemorySource final : public AudioSource {
  public:
    MemorySource(int rate, int channels, std::vector<InternalSample> samples,
                 std::int32_t peakBound = kFullScalePeak, bool growing = false);

    void Read(InternalSample* dest, int frames) override;
    std::int64_t GetPosition() const override { return m_position; }
    std::int64_t GetLength() const override;
    void Seek(std::int64_t frame) override { m_position = frame < 0 ? 0 : frame; }
    bool IsGrowing() const override { return m_growing; }

    std::int64_t framesRead() const { return m_framesRead; }

  private:
    std::vector<InternalSample> m_samples;
    std::int64_t m_position = 0;
    std::int64_t m_framesRead = 0;
    bool m_growing;
};

// `frames` frames of a sine of `hertz` at `amplitude` (internal scale) in every channel.
std::vector<InternalSample> InternalSine(int frames, int channels, int rate, double hertz,
                                         double amplitude);

}  // namespace sonaro::test
