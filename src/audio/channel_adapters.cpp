#include "audio/channel_adapters.h"

#include <algorithm>
#include <utility>

namespace sonaro {

StereoToMonoAdapter::StereoToMonoAdapter(SinkRef inner)
    : AudioSink(inner->sampleRate(), 2), m_inner(std::move(inner)) {
    setPosition(m_inner->position());
}

void StereoToMonoAdapter::Write(const InternalSample* samples, int frames) {
    for (int done = 0; done < frames;) {
        const int run = std::min(frames - done, kMaxBlockFrames);
        const InternalSample* in = samples + static_cast<std::ptrdiff_t>(done) * 2;
        for (int i = 0; i < run; ++i) {
            m_buffer[static_cast<std::size_t>(i)] = (in[2 * i] + in[2 * i + 1]) >> 1;
        }
        m_inner->Write(m_buffer.data(), run);
        done += run;
    }
    advancePosition(frames);
}

void StereoToMonoAdapter::SeekTo(std::int64_t frame) {
    setPosition(frame);
    m_inner->SeekTo(frame);
}

MonoToStereoAdapter::MonoToStereoAdapter(SinkRef inner)
    : AudioSink(inner->sampleRate(), 1), m_inner(std::move(inner)) {
    setPosition(m_inner->position());
}

void MonoToStereoAdapter::Write(const InternalSample* samples, int frames) {
    for (int done = 0; done < frames;) {
        const int run = std::min(frames - done, kMaxBlockFrames);
        for (int i = 0; i < run; ++i) {
            const InternalSample sample = samples[done + i];
            m_buffer[static_cast<std::size_t>(2 * i)] = sample;
            m_buffer[static_cast<std::size_t>(2 * i + 1)] = sample;
        }
        m_inner->Write(m_buffer.data(), run);
        done += run;
    }
    advancePosition(frames);
}

void MonoToStereoAdapter::SeekTo(std::int64_t frame) {
    setPosition(frame);
    m_inner->SeekTo(frame);
}

}  // namespace sonaro
