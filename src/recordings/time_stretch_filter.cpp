#include "recordings/time_stretch_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "recordings/phase_math.h"

namespace sonaro {
namespace {

constexpr int kMillion = 1000000;
constexpr int kInputSeconds = 5;
// The largest float below 2^31: output beyond it would not convert to a 32-bit sample.
constexpr float kSampleLimit = 2147483520.0f;

// A power of two near rate/43 (a window of about 23 ms): 1024 points at 22050 Hz.
int fftSizeFor(int rate) {
    const int r = rate >> 5;
    const int u = r - (r >> 2);
    int order = 3;
    while ((1 << order) < u) {
        ++order;
    }
    return 1 << order;
}

// Per bin below N/2: the phase advance since the last frame beyond what the bin's centre
// frequency explains gives the true frequency; it is scaled from the analysis hop to the synthesis
// hop (by `scale`) and the bin is given the new phase. `frameStart` is the analysis frame's start
// modulo N. The analysis phase is kept within (−3π, π] and the synthesis phase within one turn:
// both differ from unbounded running sums only by whole turns, so single precision holds over
// hours. Built also for AVX2 processors, chosen when the program loads.
[[gnu::target_clones("arch=x86-64-v3", "default")]] void advanceBins(float* spectrum,
                                                                     float* analysis,
                                                                     float* synthesis, int bins,
                                                                     std::int64_t frameStart,
                                                                     float scale) {
    const int mask = 2 * bins - 1;
    const auto start = static_cast<int>(frameStart);
    const float binTurn = phase::kPi / static_cast<float>(bins);
    for (int k = 0; k < bins; ++k) {
        const float re = spectrum[2 * k];
        const float im = spectrum[2 * k + 1];
        const float magnitude = std::sqrt(re * re + im * im);
        const float relative =
            phase::Atan2(im, re) - static_cast<float>((k * start) & mask) * binTurn;
        const float change = phase::Wrap(relative - analysis[k]);
        analysis[k] = relative;
        // The synthesis hop is N/8: each bin's centre frequency turns k/8 turns per hop.
        const float next = phase::Wrap(synthesis[k] + change * scale +
                                       static_cast<float>(k & 7) * (phase::kPi / 4));
        synthesis[k] = next;
        float sine = 0;
        float cosine = 0;
        phase::SinCos(next, sine, cosine);
        spectrum[2 * k] = magnitude * cosine;
        spectrum[2 * k + 1] = magnitude * sine;
    }
}

void readBlocks(AudioSource& source, InternalSample* dest, int frames) {
    while (frames > 0) {
        const int take = std::min(frames, kMaxBlockFrames);
        source.Read(dest, take);
        dest += static_cast<std::size_t>(take) * static_cast<std::size_t>(source.channels());
        frames -= take;
    }
}

}  // namespace

TimeStretchFilter::TimeStretchFilter(SourceRef source, double speed, bool reportScaled)
    : SourceFilter(std::move(source)),
      m_speed(speed),
      m_reportScaled(reportScaled),
      m_fft(isUnusable() || !IsSupportedSampleRate(rate()) ? 2 : fftSizeFor(rate())) {
    if (isUnusable()) {
        return;
    }
    // NaN fails both comparisons.
    if (!(speed > 0 && speed <= kMaxSpeed) || !IsSupportedSampleRate(rate()) || !m_fft.valid()) {
        markStatus(SourceStatus::Corrupt);
        return;
    }
    m_size = m_fft.size();
    m_bins = m_size / 2;
    m_hop = m_size / 8;
    const double advance = m_hop * speed;
    m_advanceWhole = static_cast<int>(advance);
    m_advanceMillionths = static_cast<int>((advance - m_advanceWhole) * kMillion);
    if (m_advanceWhole == 0 && m_advanceMillionths == 0) {
        // The input would never advance.
        markStatus(SourceStatus::Corrupt);
        return;
    }
    m_phaseScale =
        static_cast<float>(m_hop / (m_advanceWhole + m_advanceMillionths / double{kMillion}));
    // The forward transform's 1/N is folded into the window, and so is the level for the speed,
    // 1/sqrt(max(speed, 0.2)): a steady tone comes out about 1 dB louder at half speed and 2 dB
    // quieter at 1.5 times than it went in, hence the doubled peak bound.
    m_window.resize(static_cast<std::size_t>(m_size));
    const double gain = 1.0 / std::sqrt(std::max(speed, 0.2)) / m_size;
    for (int n = 0; n < m_size; ++n) {
        m_window[static_cast<std::size_t>(n)] =
            static_cast<float>((0.54 - 0.46 * std::cos(2 * std::numbers::pi * n / m_size)) * gain);
    }
    m_capacity = kInputSeconds * rate();
    m_input.resize(frameOffset(m_capacity));
    const auto perChannel = static_cast<std::size_t>(channels());
    m_kept.resize(perChannel * 2 * static_cast<std::size_t>(m_size / 4));
    m_analysisPhase.resize(perChannel * static_cast<std::size_t>(m_bins));
    m_synthesisPhase.resize(m_analysisPhase.size());
    const std::int32_t bound = m_source->peakBound();
    setPeakBound(bound < 1048576 ? 2 * bound : 2097152);
    reset();
}

void TimeStretchFilter::reset() {
    m_outPos = m_size / 2;
    m_readPos = 0;
    m_fraction = 0;
    m_totalIn = 0;
    // The first analysed frame is half silence, half the first source frames, so output starts
    // exactly where the source is.
    std::fill(m_input.begin() + static_cast<std::ptrdiff_t>(frameOffset(m_advanceWhole)),
              m_input.begin() + static_cast<std::ptrdiff_t>(frameOffset(m_advanceWhole + m_bins)),
              0);
    const int lead = m_size - m_advanceWhole - m_bins;
    if (lead > 0) {
        readBlocks(*m_source, m_input.data() + frameOffset(m_advanceWhole + m_bins), lead);
    }
    std::fill(m_analysisPhase.begin(), m_analysisPhase.end(), 0.0f);
    std::fill(m_kept.begin(), m_kept.end(), 0.0f);
    // The first frame is resynthesised with its analysed phases: its advance is not scaled, and
    // the synthesis phases start where they cancel the difference between the first analysis
    // hop and the synthesis hop. Only the advances after it are scaled. Scaling its phases as
    // well would change the half turn between neighbouring bins of a windowed tone (the window
    // is centred in the frame), which moves the tone from the middle of each resynthesised frame,
    // the part that is heard, towards its edges: 30 dB quieter at half speed.
    const int mask = m_size - 1;
    for (int k = 0; k < m_bins; ++k) {
        const float start = phase::Wrap(static_cast<float>((k * (m_advanceWhole - m_hop)) & mask) *
                                        (phase::kTwoPi / static_cast<float>(m_size)));
        for (int channel = 0; channel < channels(); ++channel) {
            channelState(m_synthesisPhase, channel)[k] = start;
        }
    }
    analyse(1.0f);
}

void TimeStretchFilter::analyse(float phaseScale) {
    int advance = m_advanceWhole;
    m_fraction += m_advanceMillionths;
    if (m_fraction >= kMillion) {
        ++advance;
        m_fraction -= kMillion;
    }
    m_readPos += advance;
    if (m_readPos + m_size > m_capacity) {
        std::memmove(m_input.data(), m_input.data() + frameOffset(m_readPos),
                     frameOffset(m_size - advance) * sizeof(InternalSample));
        m_readPos = 0;
    }
    readBlocks(*m_source, m_input.data() + frameOffset(m_readPos + m_size - advance), advance);
    m_totalIn += advance;
    m_newest ^= 1;
    for (int channel = 0; channel < channels(); ++channel) {
        resynthesise(channel, m_input.data() + frameOffset(m_readPos), phaseScale);
    }
}

void TimeStretchFilter::resynthesise(int channel, const InternalSample* frame, float phaseScale) {
    const auto stride = static_cast<std::size_t>(channels());
    float* time = m_fft.time();
    const float* window = m_window.data();
    for (int n = 0; n < m_size; ++n) {
        time[n] =
            static_cast<float>(
                frame[static_cast<std::size_t>(n) * stride + static_cast<std::size_t>(channel)]) *
            window[n];
    }
    m_fft.Forward();

    advanceBins(m_fft.spectrum(), channelState(m_analysisPhase, channel),
                channelState(m_synthesisPhase, channel), m_bins, m_totalIn & (m_size - 1),
                phaseScale);
    // Bin N/2 keeps its analysed value. The real inverse takes the bins above N/2 as the
    // conjugates of their mirror images, which is what a complex inverse of the mirrored
    // spectrum gives in its real part.
    m_fft.Inverse();
    std::memcpy(kept(channel, m_newest), time + 3 * m_size / 8,
                static_cast<std::size_t>(m_size / 4) * sizeof(float));
}

void TimeStretchFilter::Read(InternalSample* dest, int frames) {
    const auto stride = static_cast<std::size_t>(channels());
    if (isUnusable()) {
        std::fill_n(dest, static_cast<std::size_t>(std::max(frames, 0)) * stride, 0);
        return;
    }
    const int half = m_size / 2;
    const int keptStart = 3 * m_size / 8;
    const float hopScale = 1.0f / static_cast<float>(m_hop);
    while (frames > 0) {
        if (m_outPos >= half) {
            analyse(m_phaseScale);
            m_outPos -= m_hop;
        }
        const int n = std::min(half - m_outPos, frames);
        for (int channel = 0; channel < channels(); ++channel) {
            const float* newest = kept(channel, m_newest) + (m_outPos - keptStart);
            const float* previous = kept(channel, m_newest ^ 1) + (m_outPos - keptStart + m_hop);
            InternalSample* out = dest + channel;
            for (int i = 0; i < n; ++i) {
                const float t = static_cast<float>(half - m_outPos - i) * hopScale;
                const float value =
                    std::clamp(t * previous[i] + (1 - t) * newest[i], -kSampleLimit, kSampleLimit);
                out[static_cast<std::size_t>(i) * stride] = static_cast<InternalSample>(value);
            }
        }
        dest += static_cast<std::size_t>(n) * stride;
        frames -= n;
        m_outPos += n;
    }
}

std::int64_t TimeStretchFilter::GetPosition() const {
    const std::int64_t position = m_source->GetPosition();
    if (isUnusable()) {
        return position;
    }
    return std::max<std::int64_t>(0, position + m_outPos - m_size);
}

std::int64_t TimeStretchFilter::GetLength() const {
    const std::int64_t length = m_source->GetLength();
    if (!m_reportScaled || isUnusable()) {
        return length;
    }
    return std::llround(static_cast<double>(length) / m_speed);
}

void TimeStretchFilter::Seek(std::int64_t frame) {
    m_source->Seek(frame);
    if (!isUnusable()) {
        reset();
    }
}

SourceRef MakeTimeStretchFilter(SourceRef source, double speed, bool reportScaled) {
    return MakeSource<TimeStretchFilter>(std::move(source), speed, reportScaled);
}

}  // namespace sonaro
