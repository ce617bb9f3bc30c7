#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_source.h"

namespace sonaro {

// Converts a source's rate on the read side with a 63-tap Kaiser-windowed sinc filter (the
// design of the sink-side RateConverter, window half-width 32), P phases and step S as there.
// Input is kept per channel in a buffer of 32768 frames behind 63 frames of history, in block
// floating point: each refill picks the smallest shift k that brings the history and the new
// frames within 16 bits, so the dot products cannot overflow 32 bits. Coefficients are scaled per
// phase to sum exactly to unity (14 fractional bits), as on the sink side. Only 1 and 2 channels
// are converted. Buffers are allocated when built; Read allocates nothing.
class SourceRateConverter final : public SourceFilter {
  public:
    static constexpr int kTaps = 63;
    static constexpr int kCentre = 31;
    static constexpr int kStride = 64;
    static constexpr int kHistory = 63;
    static constexpr int kBufferFrames = 32768;
    static constexpr int kCompactAt = 32512;
    static constexpr int kCoefficientBits = 14;
    static constexpr int kMaxPhases = 65536;
    // Transition-band margins below the output's Nyquist rate (as a fraction of the input rate).
    static constexpr double kMargin = 0.046875;
    static constexpr double kFirstStageMargin = 0.09375;

    // Unusable (Corrupt) for a target rate of 0 or less, NotSupported for other than 1 or 2
    // channels, SourceUnusable over an unusable source.
    SourceRateConverter(SourceRef source, int rate, double margin = kMargin);

    void Read(InternalSample* dest, int frames) override;
    std::int64_t GetPosition() const override;
    std::int64_t GetLength() const override;
    void Seek(std::int64_t frame) override;

    int phases() const { return m_phases; }
    int step() const { return m_step; }
    const std::int32_t* coefficients(int phase) const {
        return m_coefficients.data() + static_cast<std::size_t>(phase) * kStride;
    }

  private:
    void design(int inputRate, int outputRate, double margin);
    void refill();
    int requestFrames() const;
    std::int32_t* channelBuffer(int channel) {
        return m_buffer.data() + static_cast<std::size_t>(channel) * kChannelFrames;
    }

    static constexpr std::size_t kChannelFrames = kHistory + kBufferFrames + 1;

    int m_phases = 1;
    int m_step = 1;
    std::vector<std::int32_t> m_coefficients;
    std::vector<std::int32_t> m_buffer;   // per channel: history, then the frames read
    std::vector<InternalSample> m_input;  // one source block, interleaved
    std::int64_t m_index = kHistory - kCentre;
    std::int64_t m_phase = 0;
    std::int64_t m_available = 0;
    int m_shift = 0;
};

// The source itself at equal rates; two converters in a row (to twice `rate` with the wider
// transition band, then to `rate`) when `rate` is below a quarter of the source's; otherwise one.
// A target rate of 0 or less gives an unusable converter.
SourceRef MakeSourceRateConverter(SourceRef source, int rate);

}  // namespace sonaro
