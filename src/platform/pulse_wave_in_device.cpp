#include "platform/pulse_wave_in_device.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace sonaro {

PulseWaveInDevice::PulseWaveInDevice(std::string sourceName)
    : m_sourceName(std::move(sourceName)) {}

PulseWaveInDevice::~PulseWaveInDevice() {
    Close();
}

WaveInOpenResult PulseWaveInDevice::Open(int rate, int channels, int framesPerBuffer,
                                         int bufferCount) {
    Close();
    const bool inRange = rate > 0 && channels > 0 &&
                         channels <= static_cast<int>(PA_CHANNELS_MAX) && framesPerBuffer > 0 &&
                         bufferCount > 0;
    const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate),
                                    static_cast<std::uint8_t>(inRange ? channels : 1)};
    if (!inRange || !pa_sample_spec_valid(&sampleSpec)) {
        setError("The sound server cannot record this format.");
        return WaveInOpenResult::FormatRefused;
    }
    {
        std::lock_guard lock(m_lock);
        m_frameBytes = static_cast<std::size_t>(channels) * sizeof(std::int16_t);
        m_bufferBytes = static_cast<std::size_t>(framesPerBuffer) * m_frameBytes;
        m_bufferCount = bufferCount;
        m_memory.assign(static_cast<std::size_t>(framesPerBuffer) * channels * bufferCount, 0);
        m_frames.assign(static_cast<std::size_t>(bufferCount), 0);
        m_lostBefore.assign(static_cast<std::size_t>(bufferCount), 0);
        m_readIndex = m_fillIndex = m_filledCount = 0;
        m_fillBytes = 0;
        m_failed = m_capturing = false;
        m_overrunBytes = m_lostBytes = 0;
        updateReadyLocked();
    }
    if (!m_connection.Connect("Sonaro recorder", [this] { markFailed(); })) {
        setError(m_connection.errorText());
        return WaveInOpenResult::Failed;
    }
    if (!connectStream(rate, channels)) {
        Close();
        return WaveInOpenResult::Failed;
    }
    return WaveInOpenResult::Opened;
}

// The stream starts corked, so that nothing recorded before Start reaches the buffers; the
// server delivers a fragment per buffer.
bool PulseWaveInDevice::connectStream(int rate, int channels) {
    const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate),
                                    static_cast<std::uint8_t>(channels)};
    PulseLock lock(m_connection);
    m_stream = pa_stream_new(m_connection.context(), "Recording", &sampleSpec, nullptr);
    if (m_stream == nullptr) {
        setError("The recording stream could not be created: " + m_connection.serverError());
        return false;
    }
    pa_stream_set_state_callback(m_stream, &PulseWaveInDevice::onStreamState, this);
    pa_stream_set_read_callback(m_stream, &PulseWaveInDevice::onStreamRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(m_bufferBytes);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE);
    const char* source = m_sourceName.empty() ? nullptr : m_sourceName.c_str();
    if (pa_stream_connect_record(m_stream, source, &attr, flags) < 0) {
        setError("The recording stream could not be connected: " + m_connection.serverError());
        return false;
    }
    const bool ready = m_connection.WaitLocked(
        [this] { return pa_stream_get_state(m_stream) == PA_STREAM_READY; });
    if (!ready) {
        setError("The sound source could not be opened: " + m_connection.serverError());
    }
    return ready;
}

bool PulseWaveInDevice::Start() {
    if (m_stream == nullptr) {
        return false;
    }
    {
        std::lock_guard lock(m_lock);
        m_capturing = true;
    }
    return uncork();
}

bool PulseWaveInDevice::uncork() {
    PulseLock lock(m_connection);
    return m_connection.CompleteLocked(
        pa_stream_cork(m_stream, 0, &PulseWaveInDevice::onStreamSuccess, this));
}

void PulseWaveInDevice::onStreamSuccess(pa_stream*, int, void* self) {
    static_cast<PulseWaveInDevice*>(self)->m_connection.Signal();
}

void PulseWaveInDevice::onStreamState(pa_stream* stream, void* self) {
    auto* device = static_cast<PulseWaveInDevice*>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        device->markFailed();
    }
    device->m_connection.Signal();
}

void PulseWaveInDevice::onStreamRead(pa_stream*, std::size_t, void* self) {
    static_cast<PulseWaveInDevice*>(self)->readAvailable();
}

// Main loop thread, or any thread holding the main loop lock. A hole in the stream (no data for
// a stretch) is dropped.
void PulseWaveInDevice::readAvailable() {
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        if (data != nullptr) {
            store(static_cast<const std::uint8_t*>(data), bytes);
        }
        pa_stream_drop(m_stream);
    }
}

void PulseWaveInDevice::store(const std::uint8_t* data, std::size_t bytes) {
    std::lock_guard lock(m_lock);
    if (!m_capturing) {
        return;
    }
    auto* memory = reinterpret_cast<std::uint8_t*>(m_memory.data());
    while (bytes > 0) {
        if (m_filledCount == m_bufferCount) {
            m_overrunBytes += bytes;
            m_lostBytes += bytes;
            break;
        }
        // Every buffer was full, so the loss lies right before the buffer begun now.
        if (m_fillBytes == 0) {
            m_lostBefore[static_cast<std::size_t>(m_fillIndex)] =
                static_cast<int>(std::min<std::uint64_t>(m_lostBytes / m_frameBytes, INT_MAX));
            m_lostBytes = 0;
        }
        const std::size_t run = std::min(bytes, m_bufferBytes - m_fillBytes);
        std::memcpy(memory + static_cast<std::size_t>(m_fillIndex) * m_bufferBytes + m_fillBytes,
                    data, run);
        m_fillBytes += run;
        data += run;
        bytes -= run;
        if (m_fillBytes == m_bufferBytes) {
            m_frames[static_cast<std::size_t>(m_fillIndex)] =
                static_cast<int>(m_bufferBytes / m_frameBytes);
            m_fillIndex = (m_fillIndex + 1) % m_bufferCount;
            m_fillBytes = 0;
            ++m_filledCount;
        }
    }
    updateReadyLocked();
}

CaptureBlock PulseWaveInDevice::PeekFilled() {
    std::lock_guard lock(m_lock);
    if (m_filledCount == 0) {
        return {};
    }
    const std::size_t offset =
        static_cast<std::size_t>(m_readIndex) * (m_bufferBytes / sizeof(std::int16_t));
    return {m_memory.data() + offset, m_frames[static_cast<std::size_t>(m_readIndex)],
            m_lostBefore[static_cast<std::size_t>(m_readIndex)]};
}

void PulseWaveInDevice::ReleaseFilled() {
    std::lock_guard lock(m_lock);
    if (m_filledCount > 0) {
        m_readIndex = (m_readIndex + 1) % m_bufferCount;
        --m_filledCount;
    }
    updateReadyLocked();
}

void PulseWaveInDevice::updateReadyLocked() {
    if (m_filledCount > 0 || m_failed) {
        m_ready.set();
    } else {
        m_ready.reset();
    }
}

void PulseWaveInDevice::markFailed() {
    std::lock_guard lock(m_lock);
    if (!m_failed) {
        m_error = "The sound source disappeared.";
    }
    m_failed = true;
    updateReadyLocked();
}

bool PulseWaveInDevice::hasFailed() const {
    std::lock_guard lock(m_lock);
    return m_failed;
}

// What the server recorded before the cork is still taken in; then the buffer being filled
// counts as filled with the whole frames it holds.
void PulseWaveInDevice::Reset() {
    if (m_stream != nullptr && !hasFailed()) {
        PulseLock lock(m_connection);
        m_connection.CompleteLocked(
            pa_stream_cork(m_stream, 1, &PulseWaveInDevice::onStreamSuccess, this));
        readAvailable();
    }
    std::lock_guard lock(m_lock);
    m_capturing = false;
    const int frames = static_cast<int>(m_fillBytes / m_frameBytes);
    if (frames > 0 && m_filledCount < m_bufferCount) {
        m_frames[static_cast<std::size_t>(m_fillIndex)] = frames;
        m_fillIndex = (m_fillIndex + 1) % m_bufferCount;
        ++m_filledCount;
    }
    m_fillBytes = 0;
    updateReadyLocked();
}

void PulseWaveInDevice::Close() {
    if (m_stream != nullptr) {
        PulseLock lock(m_connection);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_connection.Disconnect();
    std::lock_guard lock(m_lock);
    m_filledCount = 0;
    m_capturing = false;
    updateReadyLocked();
}

void PulseWaveInDevice::setError(std::string text) {
    std::lock_guard lock(m_lock);
    m_error = std::move(text);
}

std::string PulseWaveInDevice::errorText() const {
    std::lock_guard lock(m_lock);
    return m_error;
}

std::uint64_t PulseWaveInDevice::overrunBytes() const {
    std::lock_guard lock(m_lock);
    return m_overrunBytes;
}

}  // namespace sonaro
