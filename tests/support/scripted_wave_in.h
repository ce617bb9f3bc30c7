#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "record/wave_in_device.h"

namespace sonaro::test {

// What a scripted device does once it has delivered its script.
enum class ScriptEnd { Stall, Disappear };

// One scripted input device: which formats it opens and what it plays.
struct ScriptedInput {
    std::string name;
    std::vector<std::string> sourceLines;
    // Formats (rate, channels) the device opens; empty: every format.
    std::vector<std::pair<int, int>> acceptedFormats;
    bool failOpen = false;
    // The 16-bit sample of `frame` in `channel` at the rate the device was opened with.
    std::function<std::int16_t(std::int64_t frame, int channel, int rate)> signal;
    // Frames in the script. A last buffer that is not full stays in the device until Reset.
    std::int64_t frames = 0;
    ScriptEnd end = ScriptEnd::Stall;
};

// Input devices that play scripts in blocks as fast as the capture thread takes them back, refuse
// chosen formats, stall or disappear at the end of their script, and log what was asked of them.
// Thread-safe: the capture thread drives the device while the test reads the log.
class ScriptedWaveInList final : public WaveInDeviceList {
  public:
    explicit ScriptedWaveInList(std::vector<ScriptedInput> inputs, int preferred = 0);
    ~ScriptedWaveInList() override;

    std::vector<std::string> DeviceNames() override;
    int PreferredDevice() override { return m_preferred; }
    std::vector<std::string> SourceLines(int device) override;
    std::unique_ptr<WaveInDevice> CreateDevice(int device) override;
    bool SetRecordSourceAndVolume(int device, int source, int volumeDb) override;

    // Overruns {at, lost} of input `device`, in order, for the devices created after the call: the
    // block that begins at or after frame `at` of the script comes after a gap of `lost` frames of
    // the signal, which its lostFramesBefore reports.
    using Overruns = std::vector<std::pair<std::int64_t, int>>;
    void SetOverruns(int device, Overruns overruns);

    // Waits until a device has delivered its whole script and every full buffer was taken back.
    bool waitScriptConsumed(int ms);

    // "<rate>/<channels> opened|refused|failed" for every Open, in order.
    std::vector<std::string> openLog() const;
    // "<device>/<source>/<dB>" for every mixer change that was made.
    std::vector<std::string> mixerLog() const;
    int devicesCreated() const;
    int lastFramesPerBuffer() const;

    struct Shared;

  private:
    std::vector<ScriptedInput> m_inputs;
    std::vector<Overruns> m_overruns;
    int m_preferred;
    std::shared_ptr<Shared> m_shared;
};

// A signal that is `amplitude` (fraction of full scale) of a 1 kHz sine between `fromMs` and
// `toMs` and silent elsewhere.
std::function<std::int16_t(std::int64_t, int, int)> ToneBetween(double amplitude, int fromMs,
                                                                int toMs, double hz = 1000);

}  // namespace sonaro::test
