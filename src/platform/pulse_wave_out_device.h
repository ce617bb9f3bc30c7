#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/pulse_connection.h"
#include "recordings/wave_out_device.h"

namespace sonaro {

// Playback on one sound server sink through a playback stream of its own connection. A sink
// chosen by name is held on to (the stream is not moved when the sink goes: the device fails);
// the default output follows the server's default. The heard position comes from the stream's
// timing information.
class PulseWaveOutDevice final : public WaveOutDevice {
  public:
    // `deviceName` as the output list names it; looked up again at every Open.
    explicit PulseWaveOutDevice(std::string deviceName);
    ~PulseWaveOutDevice() override;

    bool Open(int rate, int channels, int queueFrames, bool paused) override;
    int WritableFrames() override;
    bool Write(const std::int16_t* samples, int frames) override;
    std::int64_t PlayedFrames() override;
    bool SetPaused(bool paused) override;
    bool Flush() override;
    void Trigger() override;
    bool SetVolumeDb(int volumeDb) override;
    WaitHandle readyHandle() const override { return m_ready.handle(); }
    void ClearReady() override;
    bool hasFailed() const override { return m_failed.load(); }
    void Close() override;
    std::string errorText() const override;

  private:
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onStreamSuccess(pa_stream* stream, int success, void* self);
    static void onContextSuccess(pa_context* context, int success, void* self);
    bool connectStream(int queueFrames, bool paused);
    bool completeLocked(pa_operation* operation);
    bool usable() const { return m_stream != nullptr && !hasFailed(); }
    std::string outputName() const;
    void markFailed(std::string text);
    void setError(std::string text);

    const std::string m_deviceName;
    std::string m_sinkName;  // empty: the default output
    PulseConnection m_connection;
    pa_stream* m_stream = nullptr;
    pa_sample_spec m_sampleSpec{};
    std::size_t m_frameBytes = 0;
    // Main loop lock. A stream that fails before it is ready fails Open, not the device.
    bool m_streamReady = false;
    bool m_operationSucceeded = false;

    // Counted in frames written since Open. A flush moves the stream's write index back to what
    // it has played, so the stream's count runs `m_flushedFrames` behind ours from then on.
    std::int64_t m_written = 0;
    std::int64_t m_flushedFrames = 0;
    std::int64_t m_played = 0;

    // Guarded by m_lock: what the main loop thread reports.
    mutable std::mutex m_lock;
    std::string m_error;
    std::atomic<bool> m_failed{false};
    Event m_ready;
};

}  // namespace sonaro
