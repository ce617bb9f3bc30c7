#include "audio/audio_source.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace sonaro {
namespace {

bool validRate(int rate) {
    return rate > 0;
}

bool validChannels(int channels) {
    return channels >= 1 && channels <= 255;
}

}  // namespace

AudioSource::AudioSource(int rate, std::int32_t peakBound, int channels, SourceStatus status)
    : m_rate(validRate(rate) ? rate : kDefaultRate),
      m_peakBound(peakBound),
      m_channels(validChannels(channels) ? channels : 1),
      m_flags(static_cast<std::uint8_t>(status)) {
    if (m_flags == 0 && (!validRate(rate) || !validChannels(channels))) {
        markStatus(SourceStatus::Corrupt);
    }
}

void AudioSource::WaitForData(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

PlaceholderSource::PlaceholderSource(SourceStatus status)
    : AudioSource(kDefaultRate, kFullScalePeak, 1,
                  status == SourceStatus::Usable ? SourceStatus::NotSupported : status) {}

void PlaceholderSource::Read(InternalSample* dest, int frames) {
    if (frames > 0) {
        std::fill_n(dest, frames, 0);
        m_position += frames;
    }
}

SourceRef::SourceRef() : SourceRef(new PlaceholderSource) {}

SourceRef::SourceRef(AudioSource* source)
    : m_source(source != nullptr ? source : new PlaceholderSource) {
    m_source->m_refCount.fetch_add(1);
}

SourceRef::SourceRef(const SourceRef& other) : m_source(other.m_source) {
    m_source->m_refCount.fetch_add(1);
}

// The moved-from reference keeps a placeholder of its own, so that no reference is ever empty.
SourceRef::SourceRef(SourceRef&& other) noexcept : SourceRef() {
    std::swap(m_source, other.m_source);
}

SourceRef& SourceRef::operator=(SourceRef other) noexcept {
    std::swap(m_source, other.m_source);
    return *this;
}

SourceRef::~SourceRef() {
    release(m_source);
}

void SourceRef::reset() {
    *this = SourceRef();
}

void SourceRef::release(AudioSource* source) {
    if (source->m_refCount.fetch_sub(1) == 1) {
        delete source;
    }
}

SourceFilter::SourceFilter(SourceRef source)
    : AudioSource(source->rate(), source->peakBound(), source->channels(),
                  source->isUnusable() ? SourceStatus::SourceUnusable : SourceStatus::Usable),
      m_source(std::move(source)) {}

}  // namespace sonaro
