#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_sink.h"
#include "audio/level_set.h"
#include "record/input_selection.h"
#include "record/wave_in_device.h"
#include "threads/wake_notifier.h"
#include "threads/worker_thread.h"

namespace sonaro {

enum class CaptureState : int { Idle = 0, WaitingForVoice = 1, Recording = 2 };

// Why capture ended without a StopCapture.
enum class CaptureFailure : int { None = 0, DeviceStalled = 1, DeviceLost = 2 };

// The text the user is shown for a failure.
std::string CaptureFailureText(CaptureFailure failure);

// Told what the capture engine does. Every call runs on the user-interface thread and carries the
// cookie given with the listener.
class CaptureListener {
  public:
    virtual ~CaptureListener() = default;
    virtual void OnRecording(std::uint32_t cookie) = 0;
    virtual void OnWaitingForVoice(std::uint32_t cookie) = 0;
    // Capture ended: by StopCapture, the maximum time, or a failure reported just before.
    virtual void OnStopped(std::uint32_t cookie) = 0;
    // The recorded time at the last block loud enough to keep, in milliseconds.
    virtual void OnRecordedTime(int ms, std::uint32_t cookie) = 0;
    virtual void OnLevels(const LevelSet* levels, std::uint32_t cookie) = 0;
    // The device stalled or disappeared while capturing. What was captured before is in the
    // sink, trimmed as at StopCapture; OnStopped follows.
    virtual void OnCaptureFailed(CaptureFailure failure, std::uint32_t cookie) = 0;
    // The device lost `lostMs` of input (it was not read in time); the recording has a gap at
    // `atMs` of the output. One call per gap, before OnStopped. Listeners that only show levels
    // need not care.
    virtual void OnSoundLost(int lostMs, std::int64_t atMs, std::uint32_t cookie) {
        (void)lostMs;
        (void)atMs;
        (void)cookie;
    }
};

// Captures from a WaveInDevice into an AudioSink on a thread of its own: opens the device in the
// sink's format (or the nearest one it delivers, with converters in front of the sink), measures
// every block, passes the voice gate, trims silences and stops at the maximum time.
//
// Created, driven and destroyed on the user-interface thread; the capture thread reports through
// the wake-up notifier, so listener calls coalesce: several blocks give one call with the latest
// values.
class CaptureEngine : public LWorkerThread, private ThreadNotifyOwner {
  public:
    static constexpr int kBufferCount = 32;
    static constexpr int kMinBufferFrames = 32;
    static constexpr int kStartWaitMs = 1500;
    static constexpr int kStallWaitMs = 25000;
    static constexpr int kKeptSilenceMs = 450;
    static constexpr int kStopTailMs = 50;
    // StartCapture flag: begin in the recording state instead of waiting for voice.
    static constexpr unsigned kStartRecording = 2;
    // silenceMs that never ends a recording (60 hours).
    static constexpr int kNoSilenceLimitMs = 216000000;

    // `stallMs`: how long the device may deliver nothing before capture fails.
    CaptureEngine(WaveInDeviceList& devices, UiDispatcher& dispatcher, int stallMs = kStallWaitMs);
    ~CaptureEngine() override;

    void SetListener(CaptureListener* listener, std::uint32_t cookie);
    // Takes effect at the next StartCapture.
    void ApplyInputSelection(const InputSelection& selection);
    const InputSelection& inputSelection() const { return m_selection; }
    // Sets the selected source line's record volume; false when the mixer refused it.
    bool ApplyRecordVolume(std::int8_t volumeDb);
    // Voice pre-roll: the last `ms` milliseconds before the block that opens the voice gate are
    // written before it. 0 keeps the half-block rule instead. Takes effect at the next
    // StartCapture.
    void SetVoicePreRoll(int ms) { m_preRollMs = std::max(ms, 0); }

    // False when the sink is unusable or no format of the device could be opened.
    bool StartCapture(SinkRef sink, int maxTimeMs, std::int8_t voiceLevel, int silenceMs,
                      unsigned flags);
    // Stops the thread, ends the output 50 ms after the last loud block, releases the sink and
    // reports OnStopped. Does nothing when idle.
    void StopCapture();

    CaptureState state() const { return static_cast<CaptureState>(m_state.load()); }
    // The format the device was opened with for the current or last capture.
    int deviceRate() const { return m_deviceRate.load(); }
    int deviceChannels() const { return m_deviceChannels.load(); }

    static int FramesPerBuffer(int rate);

  protected:
    void Run() override;

  private:
    enum class BlockWait { Ready, Stopped, Stalled, Lost };

    void OnThreadNotify() override;
    bool openDevice();
    WaveInOpenResult tryFormat(int rate, int channels);
    bool buildConverters(int rate, int channels);
    void captureLoop();
    BlockWait waitForBlock();
    int takeBlock();
    void handleBlock(int frames);
    void handleWaiting(int frames, std::int8_t blockLevel);
    void handleRecording(int frames, std::int8_t blockLevel);
    void keepForPreRoll(int frames);
    void writePreRoll();
    std::int8_t measure(int frames);
    std::int8_t firstHalfLevel();
    void drain();
    void publishLevels(const std::int8_t* deviceLevels, std::int8_t blockLevel);
    void noteSoundLost(int frames);
    void reportSoundLost();
    std::int64_t sinkMs() const;

    WaveInDeviceList& m_devices;
    ThreadWakeNotifier m_notifier;
    const int m_stallMs;
    CaptureListener* m_listener = nullptr;
    std::uint32_t m_cookie = 0;
    InputSelection m_selection;
    bool m_active = false;  // user-interface thread: between a started capture and its end

    // Set on the user-interface thread before the capture thread starts, read by it.
    SinkRef m_sink;
    int m_maxTimeMs = 0;
    std::int8_t m_voiceLevel = 0;
    std::int8_t m_silenceLevel = 0;
    std::int64_t m_silenceMs = 0;
    int m_levelCount = 0;
    int m_preRollMs = 0;

    // Capture thread only.
    std::unique_ptr<WaveInDevice> m_device;
    int m_framesPerBuffer = 0;
    std::vector<InternalSample> m_block;
    std::vector<InternalSample> m_kept;
    bool m_haveKept = false;
    // The pre-roll ring: the last frames captured, in device frames, oldest at m_preRollStart.
    std::vector<InternalSample> m_preRoll;
    std::size_t m_preRollCapacity = 0;
    std::size_t m_preRollStart = 0;
    std::size_t m_preRollFilled = 0;

    // Shared between the two threads.
    std::atomic<int> m_state{0};
    std::atomic<bool> m_opened{false};
    std::atomic<std::int64_t> m_lastLoudMs{0};
    std::atomic<bool> m_limitReached{false};
    std::atomic<bool> m_levelsChanged{false};
    std::atomic<bool> m_stateChanged{false};
    std::atomic<int> m_failure{0};
    std::atomic<int> m_deviceRate{0};
    std::atomic<int> m_deviceChannels{0};
    mutable std::mutex m_levelLock;
    LevelSet m_levels;
    struct SoundLost {
        int lostMs;
        std::int64_t atMs;
    };
    // Gaps not reported yet (guarded by m_levelLock); bounded, the last one absorbs the rest.
    static constexpr std::size_t kMaxPendingGaps = 64;
    std::vector<SoundLost> m_soundLost;
    Event m_started;
};

}  // namespace sonaro
