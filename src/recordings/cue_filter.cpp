#include "recordings/cue_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace sonaro {
namespace {

constexpr int kGrainDivisor = 90;
constexpr int kMinGrain = 20;
constexpr int kMaxGrain = 2730;
constexpr int kBufferGrains = 8;
// Playing backwards, a refill leaves this many grains after the needed place.
constexpr int kBackwardGrains = 2;

}  // namespace

CueFilter::CueFilter(SourceRef source, double startSpeed, double endSpeed, int rampMs)
    : SourceFilter(std::move(source)) {
    if (isUnusable()) {
        return;
    }
    const auto valid = [](double speed) { return std::abs(speed) <= kMaxSpeed; };  // NaN fails
    if (!valid(startSpeed) || !valid(endSpeed)) {
        markStatus(SourceStatus::Corrupt);
        return;
    }
    m_grainFrames = std::clamp(rate() / kGrainDivisor, kMinGrain, kMaxGrain);
    m_grainSamples = static_cast<std::int64_t>(m_grainFrames) * channels();
    const auto grain = static_cast<std::size_t>(m_grainSamples);
    m_step = static_cast<std::int64_t>(static_cast<double>(m_grainSamples) * startSpeed);
    m_target = static_cast<std::int64_t>(static_cast<double>(m_grainSamples) * endSpeed);
    m_rampRemaining = static_cast<std::int64_t>(std::max(rampMs, 0)) * rate() / 1000 * channels();

    m_window.assign(grain, kUnity);
    const std::size_t fade = grain - (grain >> 1);
    for (std::size_t k = 0; k < fade; ++k) {
        const double c =
            std::cos(static_cast<double>(k) * std::numbers::pi / static_cast<double>(fade));
        m_window[(grain >> 1) + k] = static_cast<std::int32_t>((c * 0.5 + 0.5) * kUnity + 0.5);
    }
    m_buffer.resize(grain * kBufferGrains);
    m_grain.resize(grain);
    // Nothing buffered yet; the first grain continues from the source's position.
    m_grainStart = m_source->GetPosition() * channels() - m_grainSamples;
    m_delivered = m_grainSamples;
}

InternalSample CueFilter::Multiply(InternalSample a, std::int32_t w) {
    // 64-bit intermediates give the 32-bit results for every sample within the peak bounds
    // and cannot overflow for any other.
    const std::int64_t aHigh = a >> 12;
    const std::int64_t aLow = a & 0xFFF;
    const std::int64_t wHigh = w >> 12;
    const std::int64_t wLow = w & 0xFFF;
    return static_cast<InternalSample>(aHigh * wHigh + ((aLow * wHigh) >> 12) +
                                       ((aHigh * wLow) >> 12));
}

std::int64_t CueFilter::floorToFrame(std::int64_t sample) const {
    const std::int64_t remainder = sample % channels();
    return sample - (remainder < 0 ? remainder + channels() : remainder);
}

void CueFilter::refill(std::int64_t start) {
    const int bufferFrames = m_grainFrames * kBufferGrains;
    const std::int64_t first = start / channels();
    // Frames before the start of the source are silence.
    const int silent = static_cast<int>(std::clamp<std::int64_t>(-first, 0, bufferFrames));
    const auto stride = static_cast<std::size_t>(channels());
    std::fill_n(m_buffer.begin(), static_cast<std::size_t>(silent) * stride, 0);
    if (silent < bufferFrames) {
        m_source->Seek(first + silent);
        for (int done = silent; done < bufferFrames;) {
            const int take = std::min(bufferFrames - done, kMaxBlockFrames);
            m_source->Read(m_buffer.data() + static_cast<std::size_t>(done) * stride, take);
            done += take;
        }
    }
    m_bufferStart = start;
    m_bufferEnd = start + static_cast<std::int64_t>(m_buffer.size());
}

const InternalSample* CueFilter::grainAt(std::int64_t start) {
    if (start < m_bufferStart || start + m_grainSamples > m_bufferEnd) {
        // Forwards the needed place starts the buffer; backwards it sits near its end, so the
        // grains before it are read in the same refill.
        refill(m_step >= 0 ? start : start - (kBufferGrains - kBackwardGrains) * m_grainSamples);
    }
    return m_buffer.data() + (start - m_bufferStart);
}

void CueFilter::renderGrain() {
    const std::int64_t outgoing = m_grainStart + m_grainSamples;
    const std::int64_t incoming = floorToFrame(m_grainStart + m_step);
    const auto count = static_cast<std::size_t>(m_grainSamples);
    const InternalSample* from = grainAt(outgoing);
    for (std::size_t k = 0; k < count; ++k) {
        m_grain[k] = Multiply(from[k], m_window[k]);
    }
    const InternalSample* to = grainAt(incoming);
    for (std::size_t k = 0; k < count; ++k) {
        m_grain[k] += Multiply(to[k], kUnity - m_window[k]);
    }
    m_grainStart = incoming;
    m_delivered = 0;
    if (m_rampRemaining > 0) {
        m_step += (m_target - m_step) * m_grainSamples / m_rampRemaining;
        m_rampRemaining -= m_grainSamples;
    }
    if (m_rampRemaining <= 0) {
        m_step = m_target;
    }
}

void CueFilter::Read(InternalSample* dest, int frames) {
    const auto stride = static_cast<std::size_t>(channels());
    if (isUnusable()) {
        std::fill_n(dest, static_cast<std::size_t>(std::max(frames, 0)) * stride, 0);
        return;
    }
    std::int64_t wanted = static_cast<std::int64_t>(std::max(frames, 0)) * channels();
    while (wanted > 0) {
        if (m_delivered == m_grainSamples) {
            renderGrain();
        }
        const std::int64_t n = std::min(wanted, m_grainSamples - m_delivered);
        std::memcpy(dest, m_grain.data() + m_delivered,
                    static_cast<std::size_t>(n) * sizeof(InternalSample));
        dest += n;
        wanted -= n;
        m_delivered += n;
    }
}

std::int64_t CueFilter::GetPosition() const {
    if (isUnusable()) {
        return m_source->GetPosition();
    }
    return std::max<std::int64_t>(0, (m_grainStart + m_delivered) / channels());
}

std::int64_t CueFilter::GetLength() const {
    if (isUnusable() || m_step >= 0) {
        return m_source->GetLength();
    }
    return 2 * GetPosition();
}

void CueFilter::Seek(std::int64_t frame) {
    if (isUnusable()) {
        m_source->Seek(frame);
        return;
    }
    const std::int64_t start = std::max<std::int64_t>(frame, 0) * channels();
    m_grainStart = start - m_grainSamples;
    m_delivered = m_grainSamples;
    refill(m_step >= 0 ? start : start - (kBufferGrains - kBackwardGrains) * m_grainSamples);
}

SourceRef MakeCueFilter(SourceRef source, double startSpeed, double endSpeed, int rampMs) {
    return MakeSource<CueFilter>(std::move(source), startSpeed, endSpeed, rampMs);
}

}  // namespace sonaro
