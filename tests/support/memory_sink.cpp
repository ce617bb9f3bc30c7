#include "support/memory_sink.h"

namespace sonaro::test {

MemorySink::MemorySink(int sampleRate, int channels, bool* destroyed)
    : AudioSink(sampleRate, channels), m_destroyed(destroyed) {
    if (m_destroyed != nullptr) {
        *m_destroyed = false;
    }
}

MemorySink::~MemorySink() {
    if (m_destroyed != nullptr) {
        *m_destroyed = true;
    }
}

void MemorySink::Write(const InternalSample* samples, int frames) {
    m_samples.insert(m_samples.end(), samples,
                     samples + static_cast<std::ptrdiff_t>(frames) * channels());
    m_calls.push_back("W" + std::to_string(frames));
    m_largestWrite = std::max(m_largestWrite, frames);
    advancePosition(frames);
}

void MemorySink::SeekTo(std::int64_t frame) {
    m_calls.push_back("S" + std::to_string(frame));
    if (frame < frames()) {
        m_samples.resize(static_cast<std::size_t>(frame * channels()));
    }
    setPosition(frame);
}

std::int64_t MemorySink::frames() const {
    return static_cast<std::int64_t>(m_samples.size()) / channels();
}

std::vector<InternalSample> MemorySink::channel(int index) const {
    std::vector<InternalSample> out;
    for (std::size_t i = static_cast<std::size_t>(index); i < m_samples.size();
         i += static_cast<std::size_t>(channels())) {
        out.push_back(m_samples[i]);
    }
    return out;
}

}  // namespace sonaro::test
