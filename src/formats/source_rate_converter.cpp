#include "formats/source_rate_converter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <utility>

#include "audio/rate_converter.h"

namespace sonaro {
namespace {

constexpr double kUpCutoff = 0.975;
constexpr double kUpBeta = 2.12;
constexpr double kDownBeta = 4.538;
constexpr double kWindowHalfWidth = 32.0;

SourceStatus initialStatus(const AudioSource& converter, int rate) {
    if (converter.isUnusable()) {
        return static_cast<SourceStatus>(converter.flags());
    }
    if (rate <= 0) {
        return SourceStatus::Corrupt;
    }
    if (converter.channels() > 2) {
        return SourceStatus::NotSupported;
    }
    return SourceStatus::Usable;
}

}  // namespace

SourceRateConverter::SourceRateConverter(SourceRef source, int rate, double margin)
    : SourceFilter(std::move(source)) {
    const SourceStatus status = initialStatus(*this, rate);
    if (status != SourceStatus::Usable) {
        markStatus(status);
        return;
    }
    const int inputRate = m_source->rate();
    setRate(rate);
    if (m_source->peakBound() <= 1048576) {
        setPeakBound(2 * m_source->peakBound());
    }
    design(inputRate, rate, margin);
    m_buffer.assign(kChannelFrames * static_cast<std::size_t>(channels()), 0);
    m_input.assign(static_cast<std::size_t>(kMaxBlockFrames) * static_cast<std::size_t>(channels()),
                   0);
}

// Phases and step as the sink-side converter chooses them, with the same cap on the phases.
void SourceRateConverter::design(int inputRate, int outputRate, double margin) {
    const int exact = outputRate / std::gcd(inputRate % outputRate, outputRate);
    m_phases = std::min(exact, kMaxPhases);
    const std::int64_t scaled = static_cast<std::int64_t>(m_phases) * inputRate;
    const std::int64_t step =
        m_phases == exact ? scaled / outputRate : (scaled + outputRate / 2) / outputRate;
    m_step = static_cast<int>(std::clamp<std::int64_t>(step, 1, std::numeric_limits<int>::max()));

    const bool up = outputRate > inputRate;
    const double ratio = static_cast<double>(outputRate) / inputRate;
    const double cutoff = up ? kUpCutoff : (ratio > 2 * margin ? ratio - margin : ratio / 2);
    const double beta = up ? kUpBeta : kDownBeta;
    const double gain = cutoff / RateConverter::BesselI0(beta);
    const double unity = 1 << kCoefficientBits;
    m_coefficients.assign(static_cast<std::size_t>(m_phases) * kStride, 0);
    for (int p = 0; p < m_phases; ++p) {
        double taps[kTaps];
        double sum = 0;
        double absoluteSum = 0;
        for (int k = 0; k < kTaps; ++k) {
            const double t = (k - kCentre) - static_cast<double>(p) / m_phases;
            taps[k] = cutoff;
            if (t != 0.0) {
                const double x = std::numbers::pi * cutoff * t;
                const double w = 1.0 - t * t / (kWindowHalfWidth * kWindowHalfWidth);
                taps[k] = gain * std::sin(x) / x * RateConverter::BesselI0(beta * std::sqrt(w));
            }
            sum += taps[k];
            absoluteSum += std::abs(taps[k]);
        }
        if (sum <= 0) {
            continue;
        }
        // Unity gain per phase; a phase whose absolute sum could overflow a 32-bit dot product
        // of 16-bit values is scaled down further.
        const double limit = 65535.0 / (absoluteSum / sum * unity);
        const double scale = unity / sum * std::min(1.0, limit);
        std::int32_t* out = m_coefficients.data() + static_cast<std::size_t>(p) * kStride;
        std::int32_t rounded = 0;
        int largest = 0;
        for (int k = 0; k < kTaps; ++k) {
            out[k] = static_cast<std::int32_t>(std::lround(taps[k] * scale));
            rounded += out[k];
            largest = out[k] > out[largest] ? k : largest;
        }
        if (limit >= 1.0) {
            out[largest] += static_cast<std::int32_t>(unity) - rounded;
        }
    }
}

int SourceRateConverter::requestFrames() const {
    const auto room = static_cast<std::int64_t>(kBufferFrames) - m_available;
    std::int64_t request = room;
    if (m_source->IsGrowing()) {
        request = m_source->GetLength() - m_source->GetPosition();
        if (request <= 0) {
            request = 64;
        }
    }
    return static_cast<int>(std::min<std::int64_t>({request, room, kMaxBlockFrames}));
}

void SourceRateConverter::refill() {
    const int channelCount = channels();
    if (m_available >= kCompactAt) {
        for (int c = 0; c < channelCount; ++c) {
            std::int32_t* buffer = channelBuffer(c);
            std::copy_n(buffer + m_available, kHistory, buffer);
        }
        m_index -= m_available;
        m_available = 0;
    }
    const int request = requestFrames();
    m_source->Read(m_input.data(), request);
    // History back to full scale, then one shift for history and new frames together.
    std::int64_t peak = 0;
    for (int c = 0; c < channelCount; ++c) {
        std::int32_t* history = channelBuffer(c) + m_available;
        for (int i = 0; i < kHistory; ++i) {
            history[i] =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(history[i]) << m_shift);
            peak = std::max<std::int64_t>(peak, std::abs(static_cast<std::int64_t>(history[i])));
        }
        std::int32_t* fresh = history + kHistory;
        for (int f = 0; f < request; ++f) {
            fresh[f] = m_input[static_cast<std::size_t>(f) * channelCount + c];
            peak = std::max<std::int64_t>(peak, std::abs(static_cast<std::int64_t>(fresh[f])));
        }
    }
    int shift = 0;
    while ((peak >> shift) > 32767) {
        ++shift;
    }
    m_shift = shift;
    if (shift > 0) {
        const std::int64_t half = std::int64_t{1} << (shift - 1);
        for (int c = 0; c < channelCount; ++c) {
            std::int32_t* values = channelBuffer(c) + m_available;
            for (int i = 0; i < kHistory + request; ++i) {
                values[i] = static_cast<std::int32_t>((values[i] + half) >> shift);
            }
        }
    }
    m_available += request;
}

void SourceRateConverter::Read(InternalSample* dest, int frames) {
    if (isUnusable()) {
        std::fill_n(dest, static_cast<std::size_t>(std::max(frames, 0)) * channels(), 0);
        return;
    }
    const int channelCount = channels();
    for (int f = 0; f < frames; ++f) {
        m_index += m_phase / m_phases;
        m_phase %= m_phases;
        while (m_index >= m_available) {
            refill();
        }
        const std::int32_t* c = coefficients(static_cast<int>(m_phase));
        for (int ch = 0; ch < channelCount; ++ch) {
            const std::int32_t* x = channelBuffer(ch) + m_index;
            std::int32_t sum = 0;
            for (int k = 0; k < kStride; ++k) {
                sum += x[k] * c[k];
            }
            const std::int64_t scaled =
                static_cast<std::int64_t>(sum) * (std::int64_t{1} << m_shift);
            *dest++ = static_cast<InternalSample>((scaled + (1 << (kCoefficientBits - 1))) >>
                                                  kCoefficientBits);
        }
        m_phase += m_step;
    }
}

void SourceRateConverter::Seek(std::int64_t frame) {
    if (isUnusable()) {
        return;
    }
    frame = std::max<std::int64_t>(frame, 0);
    const std::int64_t q = frame / m_phases;
    const std::int64_t r = frame % m_phases;
    const std::int64_t sourceFrame = m_step * q + (m_step * r) / m_phases - kCentre;
    m_phase = (m_step * r) % m_phases;
    m_available = 0;
    m_index = kHistory - kCentre;
    m_shift = 0;
    std::fill(m_buffer.begin(), m_buffer.end(), 0);
    // Frames before the start of the source are silence.
    const int before = static_cast<int>(std::clamp<std::int64_t>(-sourceFrame, 0, kCentre));
    m_source->Seek(std::max<std::int64_t>(sourceFrame, 0));
    const int count = kCentre - before;
    m_source->Read(m_input.data(), count);
    for (int ch = 0; ch < channels(); ++ch) {
        std::int32_t* history = channelBuffer(ch) + m_index + before;
        for (int f = 0; f < count; ++f) {
            history[f] = m_input[static_cast<std::size_t>(f) * channels() + ch];
        }
    }
}

std::int64_t SourceRateConverter::GetPosition() const {
    const std::int64_t n =
        std::max<std::int64_t>(0, m_source->GetPosition() + m_index - m_available - kCentre - 1);
    return (n / m_step) * m_phases + ((n % m_step) * m_phases + m_phase) / m_step;
}

std::int64_t SourceRateConverter::GetLength() const {
    std::int64_t length = m_source->GetLength();
    const bool growing = m_source->IsGrowing();
    if (growing) {
        length = std::max<std::int64_t>(0, length - 33);
    }
    const std::int64_t result =
        (length / m_step) * m_phases + ((length % m_step) * m_phases) / m_step;
    return growing ? std::max<std::int64_t>(0, result - 1) : result;
}

SourceRef MakeSourceRateConverter(SourceRef source, int rate) {
    if (rate == source->rate()) {
        return source;
    }
    if (rate > 0 && rate < source->rate() / 4) {
        SourceRef first = MakeSource<SourceRateConverter>(std::move(source), 2 * rate,
                                                          SourceRateConverter::kFirstStageMargin);
        return MakeSource<SourceRateConverter>(std::move(first), rate);
    }
    return MakeSource<SourceRateConverter>(std::move(source), rate);
}

}  // namespace sonaro
