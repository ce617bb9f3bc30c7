#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "audio/audio_source.h"

namespace sonaro {

// Keeps a source's samples within a bound with a gain that moves smoothly from chunk to chunk.
// The source is read ahead by three chunks (about 1/35 s each, 1/70 s for a growing file,
// 16 to 8192 frames); each chunk's gain is 1.0 (8.24 fixed point) when its peak fits the bound,
// else the ratio that brings its peak to the bound. Over each chunk the gain glides linearly to
// the smallest of the next two chunks' gains and the mean of the four around it, so a loud chunk
// is already turned down when it starts. Buffers are allocated when built; Read allocates
// nothing.
class PeakLimiter final : public SourceFilter {
  public:
    static constexpr std::int32_t kUnityGain = 1 << 24;
    static constexpr std::int32_t kMaxBound = 4194303;

    PeakLimiter(SourceRef source, std::int32_t bound);

    void Read(InternalSample* dest, int frames) override;
    std::int64_t GetPosition() const override;
    void Seek(std::int64_t frame) override;

    int chunkFrames() const { return m_chunk; }
    // The gain in 8.24 fixed point that the next frame gets.
    std::int32_t currentGain() const { return m_gain; }

    // The gain that brings a chunk with `peak` within `bound`.
    static std::int32_t ChunkGain(std::int32_t peak, std::int32_t bound);
    // x × gain / 2^24 from the 12-bit halves of both, the product of the two low halves dropped.
    static InternalSample Scale(InternalSample x, std::int32_t gain);

  private:
    void prime();
    void readChunk(int slot);
    void advance();
    void setStep();
    std::size_t slotOffset(int slot) const;

    std::int32_t m_bound;
    int m_chunk;
    std::vector<InternalSample> m_buffer;  // three chunks
    std::array<std::int32_t, 3> m_chunkGain{};
    std::int32_t m_playedGain = kUnityGain;  // the chunk just played
    int m_oldest = 0;
    int m_offset = 0;  // frames of the oldest chunk already delivered
    bool m_primed = false;
    std::int32_t m_gain = kUnityGain;
    std::int32_t m_step = 0;
};

// The source itself when its peakBound does not exceed `bound`; otherwise a PeakLimiter over it.
SourceRef MakePeakLimiter(SourceRef source, int bound);

}  // namespace sonaro
