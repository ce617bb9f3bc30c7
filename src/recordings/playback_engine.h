#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/audio_source.h"
#include "recordings/playback_listener.h"
#include "recordings/wave_out_device.h"
#include "recordings/wave_output.h"
#include "threads/wake_notifier.h"
#include "threads/worker_thread.h"

namespace sonaro {

// Which output plays: a name from WaveOutDeviceList::DeviceNames(); empty or
// WaveOutDeviceList::kDefaultDevice for the system's default output.
struct DeviceSelection {
    std::string deviceName;
};

// Plays an AudioSource on an output device. A producer thread reads the source a tenth of a
// second at a time into the WaveOutput ring and takes back what the device has played; the
// user-interface thread is told the position heard, the levels, and start, pause and stop.
//
// Created, driven and destroyed on the user-interface thread. Everything that touches the device
// from that thread first stops the producer, so the device is never used by two threads at once.
class PlaybackEngine final : private LWorkerThread, private ThreadNotifyOwner {
  public:
    // Sources louder than this are limited, so that the 16-bit conversion never clips.
    static constexpr std::int32_t kPeakBound = 524272;
    static constexpr int kMaxWaitMs = 1000;
    static constexpr int kGrowingWaitMs = 150;

    PlaybackEngine(WaveOutDeviceList& devices, UiDispatcher& dispatcher);
    ~PlaybackEngine() override;

    // Stops what plays and plays `source` from its position. False when the source is unusable
    // or the device cannot be opened (errorText() says why); the source is released then.
    bool Play(SourceRef source);
    void Stop();
    void Pause();
    void Resume();
    // Moves to `frame` of the source. While paused, a short snippet there repeats until Resume
    // or Stop, so the user hears where the position is.
    void Seek(std::int64_t frame);
    // Output volume in dB, kept for the next Play.
    void SetVolume(int volumeDb);
    void SetDeviceSelection(DeviceSelection selection) { m_selection = std::move(selection); }
    // nullptr: no listener.
    void SetListener(PlaybackListener* listener, std::uint32_t cookie);

    bool IsStopped() const { return m_output.state() == 0; }
    bool IsPaused() const { return (m_output.state() & WaveOutput::kPaused) != 0; }
    bool IsPlaying() const { return m_output.state() != 0; }
    // Why the last Play failed, or why the output failed while playing.
    const std::string& errorText() const { return m_error; }
    // The rate of the source playing, for converting positions.
    int rate() const { return m_rate; }
    // The position heard, in frames of the source.
    std::int64_t position() const { return m_output.position(); }

  private:
    enum class Mode { Play, Scrub };

    void Run() override;
    void OnThreadNotify() override;
    void startProducer(Mode mode);
    void stopProducer();
    void produce();
    void scrub();
    // Waits for the device or a stop; false when stop was requested.
    bool waitDevice(int ms);
    void playOutEnd();
    // Takes back the buffers heard and tells the user-interface thread; the number taken, or -1
    // when the device failed (reported).
    int takeBackHeard();
    // Producer thread: the device failed.
    void reportFailure();
    // User-interface thread: tells the listener why the device failed and stops.
    void failNow();
    void applyVolume();

    WaveOutDeviceList& m_devices;
    ThreadWakeNotifier m_notifier;
    PlaybackListener m_silentListener;
    PlaybackListener* m_listener = &m_silentListener;
    std::uint32_t m_cookie = 0;
    DeviceSelection m_selection;
    int m_volumeDb = 0;
    int m_rate = 0;
    std::string m_error;

    SourceRef m_source;
    WaveOutput m_output;
    Mode m_mode = Mode::Play;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_updatePending{false};
    std::atomic<bool> m_failed{false};
};

}  // namespace sonaro
