#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_sink.h"

namespace sonaro {

// Converts the sample rate in front of an inner sink with a 15-tap Kaiser-windowed sinc filter
// of 16-bit integer coefficients (14 fractional bits), one set per phase, each set scaled to
// unity gain. Input is kept as 16-bit values per channel, so that a dot product of 16-bit pairs
// with a 32-bit sum (which cannot overflow: each phase's absolute sum stays below 4.0) runs as
// packed multiply-adds. Accepts `inputRate`
// frames per second in the inner sink's channel count (1 or 2) and writes the inner sink's rate.
//
// P phases, the smallest P for which P * (inputRate mod outputRate) is a multiple of the output
// rate, at most kMaxPhases; step S = P * inputRate / outputRate: every output frame advances S/P
// input frames.
// Holds 7 frames of history and 8 frames of look-ahead; the look-ahead reaches the inner sink at
// a flush (before a seek and when the converter is destroyed). Its position starts at the inner
// sink's position mapped to the input rate, so that seeks map back to the right output frame
// when a writer already holds audio. All buffers are allocated when the converter is built;
// Write allocates nothing.
class RateConverter final : public AudioSink {
  public:
    static constexpr int kTaps = 15;
    static constexpr int kHistoryFrames = 7;
    static constexpr int kFlushFrames = 8;
    static constexpr int kInputFrames = kMaxBlockFrames + kTaps;
    static constexpr int kCoefficientBits = 14;
    // Taps stored per phase: 15 and a zero, so that a phase is one 16-lane dot product.
    static constexpr int kStride = 16;
    // Bounds the coefficient table to 2 MiB whatever the two rates are.
    static constexpr int kMaxPhases = 65536;

    // Marked unusable when a rate is not positive, the inner sink has neither 1 nor 2 channels or
    // the tables cannot be allocated.
    RateConverter(int inputRate, SinkRef inner);
    ~RateConverter() override;

    void Write(const InternalSample* samples, int frames) override;
    // Flushes, then seeks the inner sink to the matching output frame and restarts the filter.
    void SeekTo(std::int64_t frame) override;

    int phases() const { return m_phases; }
    int step() const { return m_step; }
    // The 15 coefficients of `phase`; they add up to 16384.
    const std::int16_t* coefficients(int phase) const {
        return m_coefficients.data() + static_cast<std::size_t>(phase) * kStride;
    }

    // The modified Bessel function of order 0 by its power series up to the term in x^12.
    static double BesselI0(double x);

  private:
    void choosePhases(int inputRate, int outputRate);
    void buildCoefficients(int inputRate, int outputRate);
    static void normalizePhase(const double* taps, std::int16_t* out);
    void append(const InternalSample* samples, int frames);
    void process();
    template <int Channels>
    void processFrames();
    void compact();
    void emitOutput();
    void flush();
    void resetHistory();

    SinkRef m_inner;
    int m_phases = 1;
    int m_step = 1;
    int m_stepWhole = 0;  // m_step / m_phases
    int m_stepPart = 0;   // m_step % m_phases
    std::vector<std::int16_t> m_coefficients;
    std::vector<std::int16_t> m_input[2];  // one per channel, internal sample >> 4
    int m_buffered = 0;
    int m_inPos = 0;
    int m_phase = 0;
    std::vector<InternalSample> m_output;
    int m_outFrames = 0;
};

}  // namespace sonaro
