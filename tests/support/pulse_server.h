#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro::test {

// A private sound server for the life of the object: a `pulseaudio` daemon in a temporary folder
// with one null sink (kSinkName, whose monitor source records what is played into it) and a
// native-protocol socket. While it runs, PULSE_SERVER points this process (and every client
// started through it) at the socket; the destructor kills the daemon and restores the variable.
// Works as root too: the daemon runs per-user, with its runtime and state paths in the folder.
class PulseServer {
  public:
    static constexpr const char* kSinkName = "sonaro_test_sink";
    static constexpr const char* kSinkDescription = "Sonaro Test Output";
    static constexpr const char* kMonitorSource = "sonaro_test_sink.monitor";
    static constexpr const char* kMonitorDescription = "Monitor of Sonaro Test Output";

    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // False when the daemon did not come up; error() and log() say why.
    bool running() const { return m_running; }
    const std::string& error() const { return m_error; }
    std::string log() const;
    const std::string& folder() const { return m_folder; }

    // Runs a client (pactl, paplay, pacat, ...) against this server and waits up to `timeoutMs`
    // for it; its exit code, or -1 when it could not start or ran too long. `output` receives
    // its standard output.
    int RunClient(const std::vector<std::string>& argv, std::string* output = nullptr,
                  int timeoutMs = 30000);
    // Starts a client without waiting for it.
    std::unique_ptr<ChildProcess> StartClient(const std::vector<std::string>& argv);

  private:
    bool waitUntilAnswering();
    std::vector<std::string> environment() const;

    std::string m_folder;
    std::string m_address;
    std::string m_error;
    bool m_running = false;
    std::optional<ScopedEnv> m_serverVariable;
    ChildProcess m_daemon;
};

// Writes interleaved 16-bit samples as a PCM WAV file; false when the file cannot be written.
bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
                  int channels);

}  // namespace sonaro::test
