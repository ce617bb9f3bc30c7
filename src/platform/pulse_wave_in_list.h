#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/pulse_connection.h"
#include "record/wave_in_device.h"

namespace sonaro {

// One sound server source as the device list shows it.
struct PulseSource {
    std::string name;         // the server's name: stable, never shown
    std::string displayName;  // its description, made unique within the list
    std::vector<std::string> portNames;
    std::vector<std::string> portDescriptions;
    std::uint8_t channels = 0;
};

// The sound server's sources (monitors of outputs included, so that what the computer plays can
// be recorded) as input devices, named by their descriptions. Source lines are the source's
// ports; a source without ports has one line, the source itself. The record volume is the
// source's volume: 0 dB is the server's 100 %, -36 dB and below mute it, and the top is +11 dB
// (the server's largest volume for user interfaces).
//
// A connection is made on first use and again after it broke. Every operation is serialised.
class PulseWaveInList final : public WaveInDeviceList {
  public:
    static constexpr int kMuteBelowDb = -36;

    PulseWaveInList();
    ~PulseWaveInList() override;

    std::vector<std::string> DeviceNames() override;
    int PreferredDevice() override;
    std::vector<std::string> SourceLines(int device) override;
    std::unique_ptr<WaveInDevice> CreateDevice(int device) override;
    bool SetRecordSourceAndVolume(int device, int source, int volumeDb) override;

    // Every source in device order; empty when the server cannot be reached.
    std::vector<PulseSource> Sources();
    const std::string& errorText() const { return m_error; }

    // The server's volume for a record or output volume in dB.
    static pa_volume_t VolumeForDb(int volumeDb);

  private:
    bool ensureConnected();
    std::vector<PulseSource> listSourcesLocked();
    bool selectPortAndVolume(const PulseSource& source, int line, int volumeDb);

    std::mutex m_lock;
    PulseConnection m_connection;
    std::string m_error;
};

}  // namespace sonaro
