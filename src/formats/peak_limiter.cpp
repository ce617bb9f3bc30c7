#include "formats/peak_limiter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sonaro {
namespace {

int chunkFor(const AudioSource& source) {
    const int divisor = source.IsGrowing() ? 70 : 35;
    return std::clamp(source.rate() / divisor, 16, kMaxBlockFrames);
}

}  // namespace

PeakLimiter::PeakLimiter(SourceRef source, std::int32_t bound)
    : SourceFilter(std::move(source)),
      m_bound(std::clamp(bound, 1, kMaxBound)),
      m_chunk(chunkFor(*m_source)),
      m_buffer(3 * static_cast<std::size_t>(m_chunk) * static_cast<std::size_t>(channels())) {
    setPeakBound(m_bound);
}

std::int32_t PeakLimiter::ChunkGain(std::int32_t peak, std::int32_t bound) {
    if (peak <= bound) {
        return kUnityGain;
    }
    const std::int64_t divisor = (static_cast<std::int64_t>(peak) + 64) >> 6;
    return static_cast<std::int32_t>(((static_cast<std::int64_t>(bound) << 9) / divisor) << 9);
}

InternalSample PeakLimiter::Scale(InternalSample x, std::int32_t gain) {
    const std::int64_t xHigh = x >> 12;
    const std::int64_t xLow = x & 0xFFF;
    const std::int64_t gHigh = gain >> 12;
    const std::int64_t gLow = gain & 0xFFF;
    return static_cast<InternalSample>(xHigh * gHigh + ((xHigh * gLow + xLow * gHigh) >> 12));
}

std::size_t PeakLimiter::slotOffset(int slot) const {
    return static_cast<std::size_t>(slot) * static_cast<std::size_t>(m_chunk) *
           static_cast<std::size_t>(channels());
}

void PeakLimiter::readChunk(int slot) {
    InternalSample* chunk = m_buffer.data() + slotOffset(slot);
    m_source->Read(chunk, m_chunk);
    std::int64_t peak = 0;
    const std::size_t count =
        static_cast<std::size_t>(m_chunk) * static_cast<std::size_t>(channels());
    for (std::size_t i = 0; i < count; ++i) {
        peak = std::max<std::int64_t>(peak, std::llabs(static_cast<std::int64_t>(chunk[i])));
    }
    m_chunkGain[static_cast<std::size_t>(slot)] =
        ChunkGain(static_cast<std::int32_t>(std::min<std::int64_t>(peak, INT32_MAX)), m_bound);
}

void PeakLimiter::prime() {
    for (int slot = 0; slot < 3; ++slot) {
        readChunk(slot);
    }
    m_oldest = 0;
    m_offset = 0;
    m_gain = m_chunkGain[0];
    m_playedGain = m_gain;
    setStep();
    m_primed = true;
}

void PeakLimiter::setStep() {
    const std::int64_t g0 = m_chunkGain[static_cast<std::size_t>(m_oldest)];
    const std::int64_t g1 = m_chunkGain[static_cast<std::size_t>((m_oldest + 1) % 3)];
    const std::int64_t g2 = m_chunkGain[static_cast<std::size_t>((m_oldest + 2) % 3)];
    const std::int64_t target = std::min({g0, g1, (m_playedGain + g0 + g1 + g2) / 4});
    const std::int64_t difference = target - m_gain;
    m_step = static_cast<std::int32_t>(difference / m_chunk);
    m_gain += static_cast<std::int32_t>(difference % m_chunk);
}

void PeakLimiter::advance() {
    m_playedGain = m_chunkGain[static_cast<std::size_t>(m_oldest)];
    readChunk(m_oldest);
    m_oldest = (m_oldest + 1) % 3;
    m_offset = 0;
    setStep();
}

void PeakLimiter::Read(InternalSample* dest, int frames) {
    if (!m_primed) {
        prime();
    }
    const auto channelCount = static_cast<std::size_t>(channels());
    while (frames > 0) {
        if (m_offset == m_chunk) {
            advance();
        }
        const int run = std::min(frames, m_chunk - m_offset);
        const InternalSample* in = m_buffer.data() + slotOffset(m_oldest) +
                                   static_cast<std::size_t>(m_offset) * channelCount;
        const std::size_t samples = static_cast<std::size_t>(run) * channelCount;
        if (m_gain >= kUnityGain && m_step == 0) {
            std::memcpy(dest, in, samples * sizeof(InternalSample));
        } else {
            for (int f = 0; f < run; ++f) {
                for (std::size_t c = 0; c < channelCount; ++c) {
                    dest[static_cast<std::size_t>(f) * channelCount + c] =
                        Scale(in[static_cast<std::size_t>(f) * channelCount + c], m_gain);
                }
                m_gain += m_step;
            }
        }
        dest += samples;
        frames -= run;
        m_offset += run;
    }
}

std::int64_t PeakLimiter::GetPosition() const {
    const std::int64_t ahead = m_primed ? 3LL * m_chunk - m_offset : 0;
    return m_source->GetPosition() - ahead;
}

void PeakLimiter::Seek(std::int64_t frame) {
    m_source->Seek(frame);
    m_primed = false;
}

SourceRef MakePeakLimiter(SourceRef source, int bound) {
    if (source->peakBound() <= bound) {
        return source;
    }
    return MakeSource<PeakLimiter>(std::move(source), bound);
}

}  // namespace sonaro
