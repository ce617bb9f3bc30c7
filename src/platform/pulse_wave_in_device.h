#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pulse_connection.h"
#include "record/wave_in_device.h"

namespace sonaro {

// Capture from one sound server source through a record stream. The server's main loop thread
// copies the stream's data into the ring of buffers; the capture thread takes them in order.
// The stream is not moved to another source when its own disappears: the device fails instead,
// so a recording never continues silently from a different input.
class PulseWaveInDevice final : public WaveInDevice {
  public:
    // `sourceName` empty: the server's default source.
    explicit PulseWaveInDevice(std::string sourceName);
    ~PulseWaveInDevice() override;

    WaveInOpenResult Open(int rate, int channels, int framesPerBuffer, int bufferCount) override;
    bool Start() override;
    CaptureBlock PeekFilled() override;
    void ReleaseFilled() override;
    WaitHandle readyHandle() const override { return m_ready.handle(); }
    bool hasFailed() const override;
    void Reset() override;
    void Close() override;
    std::string errorText() const override;

    // Bytes dropped because every buffer was full, since Open.
    std::uint64_t overrunBytes() const;

  private:
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* self);
    static void onStreamSuccess(pa_stream* stream, int success, void* self);
    bool connectStream(int rate, int channels);
    void readAvailable();
    void store(const std::uint8_t* data, std::size_t bytes);
    void markFailed();
    void setError(std::string text);
    void updateReadyLocked();
    bool uncork();

    std::string m_sourceName;
    PulseConnection m_connection;
    pa_stream* m_stream = nullptr;

    // Guarded by m_lock: the ring of buffers and the state that the main loop thread changes.
    mutable std::mutex m_lock;
    std::string m_error;
    std::vector<std::int16_t> m_memory;
    std::vector<int> m_frames;      // frames held by each filled buffer
    std::vector<int> m_lostBefore;  // frames lost just before each buffer's first frame
    std::size_t m_bufferBytes = 0;
    std::size_t m_frameBytes = 0;
    int m_bufferCount = 0;
    int m_readIndex = 0;
    int m_fillIndex = 0;
    std::size_t m_fillBytes = 0;
    int m_filledCount = 0;
    bool m_capturing = false;
    bool m_failed = false;
    std::uint64_t m_overrunBytes = 0;
    std::uint64_t m_lostBytes = 0;  // dropped since the last buffer was begun
    Event m_ready;
};

}  // namespace sonaro
