#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_source.h"
#include "recordings/real_fft.h"

namespace sonaro {

// Plays a source slower or faster without changing its pitch: a phase vocoder over a
// Hamming-windowed transform of N points (N ≈ rate/43, a power of two), a fixed synthesis hop of
// N/8 and an analysis hop of N/8 × speed source frames (whole frames plus millionths carried in a
// fraction), with a linear cross-fade from each resynthesised frame to the next over one hop.
// The source is read by hops into a 5-second input buffer; each channel is transformed once per
// hop. All buffers are allocated when built; Read allocates nothing.
class TimeStretchFilter final : public SourceFilter {
  public:
    static constexpr double kMaxSpeed = 8.0;

    // `speed` is source time per output time (0.5 plays at half speed) and must lie in (0, 8],
    // with an analysis hop of at least a millionth of a frame; otherwise the filter is unusable
    // (Corrupt), as it is (Corrupt) for a rate outside the supported recording rates.
    // `reportScaled` makes GetLength the length in output frames.
    TimeStretchFilter(SourceRef source, double speed, bool reportScaled);

    void Read(InternalSample* dest, int frames) override;
    std::int64_t GetPosition() const override;
    std::int64_t GetLength() const override;
    void Seek(std::int64_t frame) override;

    int fftSize() const { return m_size; }
    int synthesisHop() const { return m_hop; }

  private:
    void reset();
    // `phaseScale` multiplies each bin's phase advance beyond its centre frequency.
    void analyse(float phaseScale);
    void resynthesise(int channel, const InternalSample* frame, float phaseScale);
    std::size_t frameOffset(int frame) const {
        return static_cast<std::size_t>(frame) * static_cast<std::size_t>(channels());
    }
    // The kept quarter of channel `channel`'s resynthesised frame `which` (0 or 1).
    float* kept(int channel, int which) {
        return m_kept.data() +
               (static_cast<std::size_t>(channel) * 2 + static_cast<std::size_t>(which)) *
                   static_cast<std::size_t>(m_size / 4);
    }
    float* channelState(std::vector<float>& state, int channel) {
        return state.data() + static_cast<std::size_t>(channel) * static_cast<std::size_t>(m_bins);
    }

    double m_speed;
    bool m_reportScaled;
    int m_size = 0;
    int m_bins = 0;
    int m_hop = 0;
    int m_advanceWhole = 0;
    int m_advanceMillionths = 0;
    int m_fraction = 0;
    float m_phaseScale = 1;  // synthesis hop / analysis hop
    std::vector<float> m_window;
    std::vector<InternalSample> m_input;
    int m_capacity = 0;
    int m_readPos = 0;
    int m_outPos = 0;
    std::int64_t m_totalIn = 0;
    int m_newest = 0;
    // Per channel, frames N·3/8 to N·5/8 of the two newest resynthesised frames: the only part
    // the cross-fade uses.
    std::vector<float> m_kept;
    // Per channel and bin: the last analysed phase relative to the bin's centre frequency, and
    // the synthesis phase.
    std::vector<float> m_analysisPhase;
    std::vector<float> m_synthesisPhase;
    RealFft m_fft;
};

// A TimeStretchFilter over `source`.
SourceRef MakeTimeStretchFilter(SourceRef source, double speed, bool reportScaled = false);

}  // namespace sonaro
