#include "recordings/wave_output.h"

#include <algorithm>

namespace sonaro {

int WaveOutput::FramesPerBuffer(int rate) {
    return std::clamp(rate / 10, 20, kMaxWriteFrames);
}

bool WaveOutput::Open(std::unique_ptr<WaveOutDevice> device, const AudioSource& source,
                      bool startPaused) {
    Close();
    m_channels = std::max(1, source.channels());
    m_framesPerBuffer = FramesPerBuffer(source.rate());
    if (!device->Open(source.rate(), m_channels, kSlotCount * m_framesPerBuffer, startPaused)) {
        m_error = device->errorText();
        return false;
    }
    m_device = std::move(device);
    m_error.clear();
    const auto samples = static_cast<std::size_t>(m_channels) * m_framesPerBuffer;
    m_scratch.assign(samples, 0);
    m_pcm.assign(samples, 0);
    m_scrub.assign(samples, 0);
    m_written = 0;
    ResetRing();
    {
        std::lock_guard lock(m_levelsLock);
        m_levels = LevelSet{};
    }
    m_position.store(source.GetPosition());
    m_state.store(startPaused ? kOpen | kPaused : kOpen);
    return true;
}

void WaveOutput::Close() {
    if (m_state.exchange(0) == 0 && !m_device) {
        return;
    }
    if (m_device) {
        m_device->Close();
        m_device.reset();
    }
}

void WaveOutput::ResetRing() {
    for (Slot& slot : m_slots) {
        slot.free = true;
    }
    m_writeIndex = 0;
    m_readIndex = 0;
}

LevelSet WaveOutput::levels() const {
    std::lock_guard lock(m_levelsLock);
    return m_levels;
}

bool WaveOutput::lastWrittenPending() const {
    return !m_slots[(m_writeIndex + kSlotCount - 1) % kSlotCount].free;
}

bool WaveOutput::WriteBuffer(AudioSource& source, int requested) {
    const int frames = std::min(requested, m_framesPerBuffer);
    const std::int64_t start = source.GetPosition();
    source.Read(m_scratch.data(), frames);
    const int samples = frames * m_channels;
    std::transform(m_scratch.begin(), m_scratch.begin() + samples, m_pcm.begin(), ToPcm16);
    Slot& slot = m_slots[m_writeIndex];
    slot.levels.count = static_cast<std::uint8_t>(std::min(m_channels, LevelSet::kMaxChannels));
    ComputeBlockLevels(m_scratch.data(), frames, m_channels, slot.levels.levels.data());
    if (!m_device->Write(m_pcm.data(), frames)) {
        return false;
    }
    m_written += frames;
    slot.endWritten = m_written;
    slot.endPosition = start + frames;
    slot.free = false;
    m_writeIndex = (m_writeIndex + 1) % kSlotCount;
    return true;
}

int WaveOutput::Reclaim() {
    const std::int64_t played = m_device->PlayedFrames();
    int taken = 0;
    while (!m_slots[m_readIndex].free && m_slots[m_readIndex].endWritten <= played) {
        Slot& slot = m_slots[m_readIndex];
        m_position.store(slot.endPosition);
        {
            std::lock_guard lock(m_levelsLock);
            m_levels = slot.levels;
        }
        slot.free = true;
        m_readIndex = (m_readIndex + 1) % kSlotCount;
        ++taken;
    }
    return taken;
}

void WaveOutput::PrepareScrub(AudioSource& source) {
    const int quarter = (m_framesPerBuffer + 3) / 4;
    source.Read(m_scratch.data(), quarter);
    const int quarterSamples = quarter * m_channels;
    std::transform(m_scratch.begin(), m_scratch.begin() + quarterSamples, m_scrub.begin(), ToPcm16);
    for (std::size_t at = quarterSamples; at < m_scrub.size(); at += quarterSamples) {
        const std::size_t count = std::min<std::size_t>(quarterSamples, m_scrub.size() - at);
        std::copy_n(m_scrub.begin(), count, m_scrub.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

bool WaveOutput::QueueScrub() {
    while (m_device->WritableFrames() >= m_framesPerBuffer) {
        if (!m_device->Write(m_scrub.data(), m_framesPerBuffer)) {
            return false;
        }
        m_written += m_framesPerBuffer;
    }
    return !m_device->hasFailed();
}

}  // namespace sonaro
