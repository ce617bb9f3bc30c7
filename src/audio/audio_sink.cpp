#include "audio/audio_sink.h"

#include <utility>

#include "audio/placeholder_sinks.h"

namespace sonaro {

SinkRef::SinkRef() : SinkRef(new NullSink) {}

SinkRef::SinkRef(AudioSink* sink) : m_sink(sink != nullptr ? sink : new NullSink) {
    m_sink->m_refCount.fetch_add(1);
}

SinkRef::SinkRef(const SinkRef& other) : m_sink(other.m_sink) {
    m_sink->m_refCount.fetch_add(1);
}

// The moved-from reference keeps a NullSink of its own, so that no reference is ever empty.
SinkRef::SinkRef(SinkRef&& other) noexcept : SinkRef() {
    std::swap(m_sink, other.m_sink);
}

SinkRef& SinkRef::operator=(SinkRef other) noexcept {
    std::swap(m_sink, other.m_sink);
    return *this;
}

SinkRef::~SinkRef() {
    release(m_sink);
}

void SinkRef::reset() {
    *this = SinkRef();
}

void SinkRef::release(AudioSink* sink) {
    if (sink->m_refCount.fetch_sub(1) == 1) {
        delete sink;
    }
}

}  // namespace sonaro
