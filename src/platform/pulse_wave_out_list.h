#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/pulse_connection.h"
#include "recordings/wave_out_device.h"

namespace sonaro {

// One sound server sink as the output list shows it.
struct PulseSink {
    std::string name;         // the server's name: stable, never shown
    std::string displayName;  // its description, made unique within the list
};

// The sound server's sinks as output devices, named by their descriptions (made unique as the
// input list does) in the server's order. A device looks its name up again each time it opens,
// so a device whose sink has gone plays on the default output.
//
// A connection is made on first use and again after it broke. Every operation is serialised.
class PulseWaveOutList final : public WaveOutDeviceList {
  public:
    PulseWaveOutList();
    ~PulseWaveOutList() override;

    std::vector<std::string> DeviceNames() override;
    std::unique_ptr<WaveOutDevice> CreateDevice(const std::string& name) override;
    const std::string& errorText() const { return m_error; }

    // With the connection's lock held: every sink in server order; false when the server did
    // not list them.
    static bool ListSinksLocked(PulseConnection& connection, std::vector<PulseSink>& sinks);

  private:
    std::mutex m_lock;
    PulseConnection m_connection;
    std::string m_error;
};

}  // namespace sonaro
