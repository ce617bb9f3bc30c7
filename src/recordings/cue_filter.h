#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_source.h"

namespace sonaro {

// Plays a source fast forwards or backwards for the held cue buttons: grains of rate/90 frames,
// each starting as the continuation of the last and cross-fading (raised cosine, Q24) in its
// second half into a place one step further on. The step, in samples per grain, moves from the
// start speed to the end speed over the ramp time; a negative step plays backwards. The source
// is read through a buffer of eight grains, refilled by seeking it where the next grain's samples
// are. All buffers are allocated when built; Read allocates nothing.
class CueFilter final : public SourceFilter {
  public:
    static constexpr int kUnity = 1 << 24;
    static constexpr double kMaxSpeed = 64.0;

    // Speeds are multiples of normal speed, negative backwards; a speed that is not finite or
    // beyond ±kMaxSpeed makes the filter unusable (Corrupt). A ramp of 0 ms or less reaches the
    // end speed after the first grain.
    CueFilter(SourceRef source, double startSpeed, double endSpeed, int rampMs);

    void Read(InternalSample* dest, int frames) override;
    // The frame the incoming grain has reached, never below 0.
    std::int64_t GetPosition() const override;
    // The source's length while playing forwards; twice the position backwards, so that a
    // player that stops at the length stops at the start.
    std::int64_t GetLength() const override;
    void Seek(std::int64_t frame) override;

    int grainFrames() const { return m_grainFrames; }
    // Samples (frames × channels) the incoming position moves per grain.
    std::int64_t step() const { return m_step; }
    const std::vector<std::int32_t>& window() const { return m_window; }

    // (a · w) >> 24 from the upper parts (>> 12) and lower 12 bits of both, the product of the
    // two lower parts dropped.
    static InternalSample Multiply(InternalSample a, std::int32_t w);

  private:
    void renderGrain();
    // The buffered samples from `start` (a sample index in the source) for one grain.
    const InternalSample* grainAt(std::int64_t start);
    void refill(std::int64_t start);
    std::int64_t floorToFrame(std::int64_t sample) const;

    int m_grainFrames = 0;
    std::int64_t m_grainSamples = 0;
    std::vector<std::int32_t> m_window;
    std::vector<InternalSample> m_buffer;
    std::int64_t m_bufferStart = 0;
    std::int64_t m_bufferEnd = 0;
    std::int64_t m_step = 0;
    std::int64_t m_target = 0;
    std::int64_t m_rampRemaining = 0;
    std::vector<InternalSample> m_grain;
    std::int64_t m_grainStart = 0;  // incoming start of the grain being played
    std::int64_t m_delivered = 0;   // samples of it already read
};

// A CueFilter over `source`.
SourceRef MakeCueFilter(SourceRef source, double startSpeed, double endSpeed, int rampMs);

}  // namespace sonaro
