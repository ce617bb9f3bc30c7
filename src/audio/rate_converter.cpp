#include "audio/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>
#include <numeric>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sonaro {
namespace {

constexpr double kUpCutoff = 0.975;
constexpr double kUpBeta = 2.12;
constexpr double kDownCutoffMargin = 0.046875;
constexpr double kDownBeta = 4.538;
// The largest absolute sum of a phase's coefficients for which 16 products with 16-bit input
// still fit a 32-bit sum.
constexpr double kMaxAbsoluteSum = 65535.0;

std::int32_t roundAway(double value) {
    return static_cast<std::int32_t>(std::round(value));
}

}  // namespace

double RateConverter::BesselI0(double x) {
    const double quarterSquare = x * x / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 6; ++k) {
        term *= quarterSquare / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

RateConverter::RateConverter(int inputRate, SinkRef inner)
    : AudioSink(inputRate, inner->channels()), m_inner(std::move(inner)) {
    const int outputRate = m_inner->sampleRate();
    if (inputRate <= 0 || outputRate <= 0 || channels() < 1 || channels() > 2) {
        markUnusable();
        return;
    }
    choosePhases(inputRate, outputRate);
    try {
        buildCoefficients(inputRate, outputRate);
        for (int ch = 0; ch < channels(); ++ch) {
            // One frame more than ever buffered: the 16th lane of a dot product reads it.
            m_input[ch].assign(static_cast<std::size_t>(kInputFrames) + 1, 0);
        }
        m_output.assign(static_cast<std::size_t>(kMaxBlockFrames * channels()), 0);
    } catch (const std::bad_alloc&) {
        markUnusable();
        return;
    }
    resetHistory();
    const std::int64_t innerFrame = m_inner->position();
    setPosition((innerFrame / m_phases) * m_step + (innerFrame % m_phases) * m_step / m_phases);
}

// Exact rates need P phases; rate pairs with a tiny common divisor would need hundreds of
// thousands. Beyond kMaxPhases the step is rounded instead, which changes the rate by less than
// 0.5 / step (at most 0.3 % for 1000 Hz from 384000 Hz, 0.01 % for ordinary rates).
void RateConverter::choosePhases(int inputRate, int outputRate) {
    const int exact = outputRate / std::gcd(inputRate % outputRate, outputRate);
    m_phases = std::min(exact, kMaxPhases);
    const std::int64_t scaled = static_cast<std::int64_t>(m_phases) * inputRate;
    const std::int64_t step =
        m_phases == exact ? scaled / outputRate : (scaled + outputRate / 2) / outputRate;
    m_step = static_cast<int>(std::clamp<std::int64_t>(step, 1, std::numeric_limits<int>::max()));
    m_stepWhole = m_step / m_phases;
    m_stepPart = m_step % m_phases;
}

RateConverter::~RateConverter() {
    if (!isUnusable()) {
        flush();
    }
}

void RateConverter::buildCoefficients(int inputRate, int outputRate) {
    const bool up = outputRate > inputRate;
    const double ratio = static_cast<double>(outputRate) / inputRate;
    // Extreme down-sampling would leave no pass band at all; keep half the output band instead.
    const double cutoff =
        up ? kUpCutoff : (ratio > 2 * kDownCutoffMargin ? ratio - kDownCutoffMargin : ratio / 2);
    const double beta = up ? kUpBeta : kDownBeta;
    const double gain = cutoff / BesselI0(beta);
    m_coefficients.assign(static_cast<std::size_t>(m_phases) * kStride, 0);
    for (int p = 0; p < m_phases; ++p) {
        double taps[kTaps];
        for (int k = 0; k < kTaps; ++k) {
            const double t = (k - kHistoryFrames) - static_cast<double>(p) / m_phases;
            taps[k] = cutoff;
            if (t != 0.0) {
                const double x = std::numbers::pi * cutoff * t;
                taps[k] = gain * std::sin(x) / x * BesselI0(beta * std::sqrt(1.0 - t * t / 64.0));
            }
        }
        normalizePhase(taps, m_coefficients.data() + static_cast<std::size_t>(p) * kStride);
    }
}

// The window shortens the sinc so much that a phase's taps no longer add up to unity gain (down
// to 44100 -> 8000 they lose 0.85 dB, and the loss differs between phases). Each phase is scaled
// to sum exactly to 1.0, the rounding remainder going to its largest tap, so that levels pass
// unchanged and no phase-dependent gain ripple adds noise. A phase whose absolute sum would reach
// 4.0 (these designs stay near 2.0) is scaled down further, so that a dot product of 16-bit
// values can never overflow 32 bits.
void RateConverter::normalizePhase(const double* taps, std::int16_t* out) {
    double sum = 0;
    double absoluteSum = 0;
    for (int k = 0; k < kTaps; ++k) {
        sum += taps[k];
        absoluteSum += std::abs(taps[k]);
    }
    if (sum <= 0) {
        return;
    }
    const double unity = 1 << kCoefficientBits;
    const double limit = kMaxAbsoluteSum / (absoluteSum / sum * unity);
    const double scale = unity / sum * std::min(1.0, limit);
    int rounded = 0;
    int largest = 0;
    for (int k = 0; k < kTaps; ++k) {
        out[k] = static_cast<std::int16_t>(std::clamp(roundAway(taps[k] * scale), -32767, 32767));
        rounded += out[k];
        largest = out[k] > out[largest] ? k : largest;
    }
    if (limit >= 1.0) {
        out[largest] =
            static_cast<std::int16_t>(out[largest] + (static_cast<int>(unity) - rounded));
    }
}

void RateConverter::resetHistory() {
    for (int ch = 0; ch < channels(); ++ch) {
        std::fill_n(m_input[ch].begin(), kHistoryFrames, 0);
    }
    m_buffered = kHistoryFrames;
    m_inPos = 0;
    m_phase = 0;
    m_outFrames = 0;
}

void RateConverter::Write(const InternalSample* samples, int frames) {
    if (isUnusable()) {
        return;
    }
    append(samples, frames);
    advancePosition(frames);
}

void RateConverter::append(const InternalSample* samples, int frames) {
    const int c = channels();
    for (int done = 0; done < frames;) {
        const int run = std::min(frames - done, kInputFrames - m_buffered);
        const InternalSample* from = samples + static_cast<std::ptrdiff_t>(done) * c;
        for (int ch = 0; ch < c; ++ch) {
            std::int16_t* to = m_input[ch].data() + m_buffered;
            for (int i = 0; i < run; ++i) {
                to[i] = static_cast<std::int16_t>(
                    std::clamp(from[i * c + ch] >> kInternalShift, -32768, 32767));
            }
        }
        m_buffered += run;
        done += run;
        process();
    }
    emitOutput();
}

void RateConverter::process() {
    if (channels() == 1) {
        processFrames<1>();
    } else {
        processFrames<2>();
    }
    compact();
}

namespace {

// 16 products of 16-bit values summed in 32 bits. No coefficient is -32768, so no pair of
// products in a packed multiply-add can reach 2^31.
#if defined(__SSE2__)
inline std::int32_t dot16(const std::int16_t* in, const std::int16_t* coef) {
    const auto* a = reinterpret_cast<const __m128i*>(in);
    const auto* c = reinterpret_cast<const __m128i*>(coef);
    __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_loadu_si128(a), _mm_loadu_si128(c)),
                                _mm_madd_epi16(_mm_loadu_si128(a + 1), _mm_loadu_si128(c + 1)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
}
#else
inline std::int32_t dot16(const std::int16_t* in, const std::int16_t* coef) {
    std::int32_t sum = 0;
    for (int k = 0; k < RateConverter::kStride; ++k) {
        sum += static_cast<std::int32_t>(in[k]) * coef[k];
    }
    return sum;
}
#endif

}  // namespace

// Each output sample is rounded back to the internal scale: coefficients carry 15 fractional
// bits, internal samples 4 more bits than the stored input.
template <int Channels>
void RateConverter::processFrames() {
    constexpr int kShift = kCoefficientBits - kInternalShift;
    constexpr InternalSample kLowest = ToInternalSample(-32768);
    constexpr InternalSample kHighest = ToInternalSample(32767);
    while (m_inPos + kTaps <= m_buffered) {
        const std::int16_t* coef = coefficients(m_phase);
        InternalSample* out = m_output.data() + static_cast<std::ptrdiff_t>(m_outFrames) * Channels;
        for (int ch = 0; ch < Channels; ++ch) {
            const std::int32_t sum = dot16(m_input[ch].data() + m_inPos, coef);
            // The filter rings past full scale on steep edges; the writers' 16-bit samples
            // would wrap there, so the overshoot is cut instead.
            out[ch] = std::clamp((sum + (1 << (kShift - 1))) >> kShift, kLowest, kHighest);
        }
        if (++m_outFrames == kMaxBlockFrames) {
            emitOutput();
        }
        m_phase += m_stepPart;
        m_inPos += m_stepWhole;
        if (m_phase >= m_phases) {
            m_phase -= m_phases;
            ++m_inPos;
        }
    }
}

// Moves the unread tail to the front. When the step skipped past the end of the buffer, the
// frames still to skip carry over to the next append.
void RateConverter::compact() {
    if (m_inPos >= m_buffered) {
        m_inPos -= m_buffered;
        m_buffered = 0;
        return;
    }
    for (int ch = 0; ch < channels(); ++ch) {
        std::memmove(m_input[ch].data(), m_input[ch].data() + m_inPos,
                     static_cast<std::size_t>(m_buffered - m_inPos) * sizeof(std::int16_t));
    }
    m_buffered -= m_inPos;
    m_inPos = 0;
}

void RateConverter::emitOutput() {
    if (m_outFrames > 0) {
        m_inner->Write(m_output.data(), m_outFrames);
        m_outFrames = 0;
    }
}

void RateConverter::flush() {
    static constexpr InternalSample kZeros[kFlushFrames * 2] = {};
    append(kZeros, kFlushFrames);
}

void RateConverter::SeekTo(std::int64_t frame) {
    if (isUnusable()) {
        return;
    }
    flush();
    setPosition(frame);
    const std::int64_t innerFrame =
        (frame / m_step) * m_phases + (frame % m_step) * m_phases / m_step;
    m_inner->SeekTo(innerFrame);
    resetHistory();
}

}  // namespace sonaro
