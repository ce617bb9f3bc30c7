#include "audio/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <utility>

namespace sonaro {
namespace {

constexpr double kUpCutoff = 0.975;
constexpr double kUpBeta = 2.12;
constexpr double kDownCutoffMargin = 0.046875;
constexpr double kDownBeta = 4.538;
constexpr double kCoefficientScale = 65536.0;

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
    m_phases = outputRate / std::gcd(inputRate % outputRate, outputRate);
    const std::int64_t step = static_cast<std::int64_t>(m_phases) * inputRate / outputRate;
    m_step = static_cast<int>(std::max<std::int64_t>(step, 1));
    m_stepWhole = m_step / m_phases;
    m_stepPart = m_step % m_phases;
    buildCoefficients(inputRate, outputRate);
    m_input.assign(static_cast<std::size_t>(kInputFrames * channels()), 0);
    m_output.assign(static_cast<std::size_t>(kMaxBlockFrames * channels()), 0);
    resetHistory();
    const std::int64_t innerFrame = m_inner->position();
    setPosition((innerFrame / m_phases) * m_step + (innerFrame % m_phases) * m_step / m_phases);
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
    const double gain = cutoff * kCoefficientScale / BesselI0(beta);
    m_coefficients.resize(static_cast<std::size_t>(m_phases) * kTaps);
    for (int p = 0; p < m_phases; ++p) {
        for (int k = 0; k < kTaps; ++k) {
            const double t = (k - kHistoryFrames) - static_cast<double>(p) / m_phases;
            double value = cutoff * kCoefficientScale;
            if (t != 0.0) {
                const double x = std::numbers::pi * cutoff * t;
                value = gain * std::sin(x) / x * BesselI0(beta * std::sqrt(1.0 - t * t / 64.0));
            }
            m_coefficients[static_cast<std::size_t>(p * kTaps + k)] = roundAway(value);
        }
        normalizePhase(m_coefficients.data() + static_cast<std::size_t>(p) * kTaps);
    }
}

// The window shortens the sinc so much that a phase's taps no longer add up to unity gain (down
// to 44100 -> 8000 they lose 0.85 dB, and the loss differs between phases). Each phase is scaled
// to sum exactly to 65536, the rounding remainder going to its largest tap, so that levels pass
// unchanged and no phase-dependent gain ripple adds noise.
void RateConverter::normalizePhase(std::int32_t* taps) {
    std::int64_t sum = 0;
    for (int k = 0; k < kTaps; ++k) {
        sum += taps[k];
    }
    if (sum <= 0) {
        return;
    }
    std::int64_t scaledSum = 0;
    int largest = 0;
    for (int k = 0; k < kTaps; ++k) {
        taps[k] = roundAway(taps[k] * kCoefficientScale / static_cast<double>(sum));
        scaledSum += taps[k];
        largest = taps[k] > taps[largest] ? k : largest;
    }
    taps[largest] +=
        static_cast<std::int32_t>(static_cast<std::int64_t>(kCoefficientScale) - scaledSum);
}

void RateConverter::resetHistory() {
    std::fill_n(m_input.begin(), kHistoryFrames * channels(), 0);
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
        std::int32_t* to = m_input.data() + static_cast<std::ptrdiff_t>(m_buffered) * c;
        const InternalSample* from = samples + static_cast<std::ptrdiff_t>(done) * c;
        for (int i = 0; i < run * c; ++i) {
            to[i] = from[i] >> kInternalShift;
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

// Each output sample: the two halves of the dot product are halved separately and rounded back
// to the internal scale (coefficients carry 16 fractional bits, internal samples 4 more bits).
template <int Channels>
void RateConverter::processFrames() {
    while (m_inPos + kTaps <= m_buffered) {
        const std::int32_t* coef = coefficients(m_phase);
        const std::int32_t* in = m_input.data() + static_cast<std::ptrdiff_t>(m_inPos) * Channels;
        InternalSample* out = m_output.data() + static_cast<std::ptrdiff_t>(m_outFrames) * Channels;
        for (int ch = 0; ch < Channels; ++ch) {
            std::int64_t low = 0;
            std::int64_t high = 0;
            for (int k = 0; k < 8; ++k) {
                low += static_cast<std::int64_t>(in[k * Channels + ch]) * coef[k];
            }
            for (int k = 8; k < kTaps; ++k) {
                high += static_cast<std::int64_t>(in[k * Channels + ch]) * coef[k];
            }
            out[ch] = static_cast<InternalSample>(((low >> 1) + (high >> 1) + 1024) >> 11);
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
    const int c = channels();
    std::memmove(m_input.data(), m_input.data() + static_cast<std::ptrdiff_t>(m_inPos) * c,
                 static_cast<std::size_t>(m_buffered - m_inPos) * c * sizeof(std::int32_t));
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
