#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recordings/wave_out_device.h"
#include "threads/event.h"

namespace sonaro::test {

// What a scripted output has been asked to do, and the test's hand on it: the test decides how
// many frames have been heard (or lets every write be heard at once) and when the device fails.
// Thread-safe: the producer thread writes while the test looks.
class WaveOutScript {
  public:
    // Open fails with this text when not empty.
    void FailOpen(std::string error);
    // Every frame written counts as heard at once.
    void SetAutoPlay(bool autoPlay);
    // `frames` more of what was written are heard.
    void Hear(std::int64_t frames);
    // The output disappears with `error`.
    void Fail(std::string error);

    struct Snapshot {
        bool open = false;
        bool paused = false;
        int rate = 0;
        int channels = 0;
        int queueFrames = 0;
        std::string deviceName;
        int volumeDb = 0;
        int flushes = 0;
        std::int64_t writtenFrames = 0;
        std::int64_t playedFrames = 0;
        // Everything written since Open, interleaved.
        std::vector<std::int16_t> samples;
    };
    Snapshot snapshot() const;

  private:
    friend class ScriptedWaveOut;

    mutable std::mutex m_lock;
    Snapshot m_state;
    std::string m_openError;
    std::string m_failure;
    bool m_autoPlay = false;
    Event m_ready;
};

// Output devices that all share one script.
class ScriptedWaveOutList final : public WaveOutDeviceList {
  public:
    explicit ScriptedWaveOutList(std::vector<std::string> names = {"Speakers"});

    std::vector<std::string> DeviceNames() override { return m_names; }
    std::unique_ptr<WaveOutDevice> CreateDevice(const std::string& name) override;

    WaveOutScript& script() { return m_script; }

  private:
    std::vector<std::string> m_names;
    WaveOutScript m_script;
};

}  // namespace sonaro::test
