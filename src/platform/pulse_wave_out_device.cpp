#include "platform/pulse_wave_out_device.h"

#include <algorithm>
#include <climits>

#include "platform/pulse_wave_in_list.h"
#include "platform/pulse_wave_out_list.h"

namespace sonaro {
namespace {

// The write callback comes once the server has played this share of the queue.
constexpr int kRequestsPerQueue = 64;
// Older timing information is renewed before a position is computed from it.
constexpr pa_usec_t kTimingRefreshUs = 50 * PA_USEC_PER_MSEC;

}  // namespace

PulseWaveOutDevice::PulseWaveOutDevice(std::string deviceName)
    : m_deviceName(std::move(deviceName)) {}

PulseWaveOutDevice::~PulseWaveOutDevice() {
    Close();
}

bool PulseWaveOutDevice::Open(int rate, int channels, int queueFrames, bool paused) {
    Close();
    {
        std::lock_guard lock(m_lock);
        m_error.clear();
        m_failed = false;
        m_ready.reset();
    }
    m_written = m_flushedFrames = m_played = 0;
    const bool inRange = rate > 0 && channels > 0 &&
                         channels <= static_cast<int>(PA_CHANNELS_MAX) && queueFrames > 0;
    m_sampleSpec = {PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate),
                    static_cast<std::uint8_t>(inRange ? channels : 1)};
    if (!inRange || !pa_sample_spec_valid(&m_sampleSpec)) {
        setError("The sound output cannot play this format.");
        return false;
    }
    m_frameBytes = pa_frame_size(&m_sampleSpec);
    if (!m_connection.Connect("Sonaro player",
                              [this] { markFailed("The sound server went away."); })) {
        setError("The sound server cannot be reached: " + m_connection.serverError());
        m_connection.Disconnect();
        return false;
    }
    if (!connectStream(queueFrames, paused)) {
        Close();
        return false;
    }
    return true;
}

// The queue holds `queueFrames`; the server asks for more each time a 64th of it has played
// and starts playing as soon as that much is queued.
bool PulseWaveOutDevice::connectStream(int queueFrames, bool paused) {
    PulseLock lock(m_connection);
    std::vector<PulseSink> sinks;
    if (!PulseWaveOutList::ListSinksLocked(m_connection, sinks)) {
        setError("The sound server did not list its outputs: " + m_connection.serverError());
        return false;
    }
    const auto chosen = std::find_if(sinks.begin(), sinks.end(), [this](const PulseSink& sink) {
        return sink.displayName == m_deviceName;
    });
    m_sinkName = chosen != sinks.end() ? chosen->name : "";
    m_stream = pa_stream_new(m_connection.context(), "Playback", &m_sampleSpec, nullptr);
    if (m_stream == nullptr) {
        setError("The playback stream could not be created: " + m_connection.serverError());
        return false;
    }
    pa_stream_set_state_callback(m_stream, &PulseWaveOutDevice::onStreamState, this);
    pa_stream_set_write_callback(m_stream, &PulseWaveOutDevice::onStreamWrite, this);
    const auto bytes = [this](std::int64_t frames) {
        return static_cast<std::uint32_t>(std::min<std::int64_t>(
            frames * static_cast<std::int64_t>(m_frameBytes), UINT32_MAX - 1));
    };
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = bytes(queueFrames);
    attr.minreq = bytes(std::max(queueFrames / kRequestsPerQueue, 1));
    attr.prebuf = attr.minreq;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int flags = PA_STREAM_AUTO_TIMING_UPDATE;
    if (paused) {
        flags |= PA_STREAM_START_CORKED;
    }
    if (!m_sinkName.empty()) {
        flags |= PA_STREAM_DONT_MOVE;
    }
    const char* sink = m_sinkName.empty() ? nullptr : m_sinkName.c_str();
    const bool ready =
        pa_stream_connect_playback(m_stream, sink, &attr, static_cast<pa_stream_flags_t>(flags),
                                   nullptr, nullptr) == 0 &&
        m_connection.WaitLocked(
            [this] { return pa_stream_get_state(m_stream) == PA_STREAM_READY; });
    if (!ready) {
        setError(outputName() + " could not be opened: " + m_connection.serverError());
    }
    m_streamReady = ready;
    return ready;
}

std::string PulseWaveOutDevice::outputName() const {
    return m_sinkName.empty() ? "The default sound output"
                              : "The sound output \"" + m_deviceName + "\"";
}

int PulseWaveOutDevice::WritableFrames() {
    if (!usable()) {
        return 0;
    }
    PulseLock lock(m_connection);
    const std::size_t bytes = pa_stream_writable_size(m_stream);
    if (bytes == static_cast<std::size_t>(-1)) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(bytes / m_frameBytes, INT_MAX));
}

bool PulseWaveOutDevice::Write(const std::int16_t* samples, int frames) {
    if (!usable() || frames < 0) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(frames) * m_frameBytes;
    PulseLock lock(m_connection);
    const std::size_t writable = pa_stream_writable_size(m_stream);
    if (writable == static_cast<std::size_t>(-1) || bytes > writable) {
        setError("More sound was written than the output has room for.");
        return false;
    }
    if (bytes > 0 && pa_stream_write(m_stream, samples, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        setError("The sound output refused the sound: " + m_connection.serverError());
        return false;
    }
    m_written += frames;
    return true;
}

// The server's timing information tells how far it has read the queue and how much of that the
// sink still holds, as of its time stamp. While the stream plays, the sink plays on in real time
// from there; in an underrun it plays no further than it has read; corked, it has given back what
// it held. The library's own interpolation is not used: for a stream started corked it counts the
// time since connecting as played, and it stops short of the end when the queue runs dry.
std::int64_t PulseWaveOutDevice::PlayedFrames() {
    if (m_stream == nullptr) {
        return m_played;
    }
    PulseLock lock(m_connection);
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if ((timing == nullptr || pa_timeval_age(&timing->timestamp) > kTimingRefreshUs) &&
        completeLocked(
            pa_stream_update_timing_info(m_stream, &PulseWaveOutDevice::onStreamSuccess, this))) {
        timing = pa_stream_get_timing_info(m_stream);
    }
    if (timing == nullptr || timing->read_index_corrupt != 0) {
        return m_played;
    }
    const auto frames = [this](pa_usec_t usec) {
        return static_cast<std::int64_t>(usec * m_sampleSpec.rate / PA_USEC_PER_SEC);
    };
    const std::int64_t read =
        std::max<std::int64_t>(timing->read_index, 0) / static_cast<std::int64_t>(m_frameBytes);
    std::int64_t streamFrames = read;
    if (pa_stream_is_corked(m_stream) == 0) {
        streamFrames += frames(pa_timeval_age(&timing->timestamp)) - frames(timing->sink_usec);
        if (timing->playing == 0) {
            streamFrames = std::min(streamFrames, read);
        }
    }
    m_played = std::max(m_played, std::min(streamFrames + m_flushedFrames, m_written));
    return m_played;
}

bool PulseWaveOutDevice::SetPaused(bool paused) {
    if (!usable()) {
        return false;
    }
    PulseLock lock(m_connection);
    if (!completeLocked(
            pa_stream_cork(m_stream, paused ? 1 : 0, &PulseWaveOutDevice::onStreamSuccess, this))) {
        setError(outputName() + (paused ? " could not be paused: " : " could not continue: ") +
                 m_connection.serverError());
        return false;
    }
    return true;
}

// The server moves the stream's write index back to its read index; a fresh timing update tells
// how far, so that later positions stay in the count of frames written.
bool PulseWaveOutDevice::Flush() {
    if (!usable()) {
        return false;
    }
    PulseLock lock(m_connection);
    const pa_timing_info* timing = nullptr;
    const bool flushed =
        completeLocked(pa_stream_flush(m_stream, &PulseWaveOutDevice::onStreamSuccess, this)) &&
        completeLocked(
            pa_stream_update_timing_info(m_stream, &PulseWaveOutDevice::onStreamSuccess, this)) &&
        (timing = pa_stream_get_timing_info(m_stream)) != nullptr &&
        timing->write_index_corrupt == 0;
    if (!flushed) {
        setError(outputName() + " could not be flushed: " + m_connection.serverError());
        return false;
    }
    m_flushedFrames = m_written - timing->write_index / static_cast<std::int64_t>(m_frameBytes);
    m_played = m_written;
    return true;
}

void PulseWaveOutDevice::Trigger() {
    if (!usable()) {
        return;
    }
    PulseLock lock(m_connection);
    if (pa_operation* operation = pa_stream_trigger(m_stream, nullptr, nullptr)) {
        pa_operation_unref(operation);
    }
}

bool PulseWaveOutDevice::SetVolumeDb(int volumeDb) {
    if (!usable()) {
        return false;
    }
    pa_cvolume volume;
    pa_cvolume_set(&volume, m_sampleSpec.channels, PulseWaveInList::VolumeForDb(volumeDb));
    PulseLock lock(m_connection);
    if (!completeLocked(pa_context_set_sink_input_volume(
            m_connection.context(), pa_stream_get_index(m_stream), &volume,
            &PulseWaveOutDevice::onContextSuccess, this))) {
        setError("The output volume could not be set: " + m_connection.serverError());
        return false;
    }
    return true;
}

bool PulseWaveOutDevice::completeLocked(pa_operation* operation) {
    m_operationSucceeded = false;
    return m_connection.CompleteLocked(operation) && m_operationSucceeded;
}

void PulseWaveOutDevice::onStreamSuccess(pa_stream*, int success, void* self) {
    auto* device = static_cast<PulseWaveOutDevice*>(self);
    device->m_operationSucceeded = success != 0;
    device->m_connection.Signal();
}

void PulseWaveOutDevice::onContextSuccess(pa_context*, int success, void* self) {
    auto* device = static_cast<PulseWaveOutDevice*>(self);
    device->m_operationSucceeded = success != 0;
    device->m_connection.Signal();
}

void PulseWaveOutDevice::onStreamWrite(pa_stream*, std::size_t, void* self) {
    static_cast<PulseWaveOutDevice*>(self)->m_ready.set();
}

void PulseWaveOutDevice::onStreamState(pa_stream* stream, void* self) {
    auto* device = static_cast<PulseWaveOutDevice*>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (device->m_streamReady && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)) {
        const bool serverGone =
            pa_context_get_state(device->m_connection.context()) != PA_CONTEXT_READY;
        device->markFailed(serverGone ? "The sound server went away."
                                      : device->outputName() + " is no longer available.");
    }
    device->m_connection.Signal();
}

void PulseWaveOutDevice::markFailed(std::string text) {
    std::lock_guard lock(m_lock);
    if (!m_failed) {
        m_error = std::move(text);
        m_failed = true;
    }
    m_ready.set();
}

// A failed device stays ready, so that a waiter never sleeps on it.
void PulseWaveOutDevice::ClearReady() {
    std::lock_guard lock(m_lock);
    if (!m_failed) {
        m_ready.reset();
    }
}

void PulseWaveOutDevice::Close() {
    if (m_stream != nullptr) {
        PulseLock lock(m_connection);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
        m_streamReady = false;
    }
    m_connection.Disconnect();
}

// Once the device failed, the reason stays its error: what fails after it is only a consequence.
void PulseWaveOutDevice::setError(std::string text) {
    std::lock_guard lock(m_lock);
    if (!m_failed) {
        m_error = std::move(text);
    }
}

std::string PulseWaveOutDevice::errorText() const {
    std::lock_guard lock(m_lock);
    return m_error;
}

}  // namespace sonaro
