#include "support/pulse_server.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <thread>

namespace sonaro::test {
namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr int kPollMs = 50;

}  // namespace

PulseServer::PulseServer() : m_folder(MakeTempDir("pulse")) {
    m_address = "unix:" + m_folder + "/native";
    for (const char* sub : {"/run", "/state", "/config"}) {
        mkdir((m_folder + sub).c_str(), 0700);
    }
    SpawnOptions options;
    options.argv = {
        "pulseaudio",
        "--daemonize=no",
        "--system=no",
        "-n",
        "--use-pid-file=no",
        "--exit-idle-time=-1",
        "--disallow-exit",
        "--disallow-module-loading=no",
        "--realtime=no",
        "--high-priority=no",
        "--log-target=file:" + m_folder + "/daemon.log",
        "--load=module-null-sink sink_name=" + std::string(kSinkName) +
            " sink_properties='device.description=\"" + kSinkDescription + "\"'",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + m_folder + "/native"};
    options.extraEnvironment = {"HOME=" + m_folder, "XDG_RUNTIME_DIR=" + m_folder + "/run",
                                "PULSE_RUNTIME_PATH=" + m_folder + "/run",
                                "PULSE_STATE_PATH=" + m_folder + "/state",
                                "XDG_CONFIG_HOME=" + m_folder + "/config"};
    if (!m_daemon.start(options)) {
        m_error = "pulseaudio could not be started: " + m_daemon.errorText();
        return;
    }
    m_serverVariable.emplace("PULSE_SERVER", m_address);
    m_running = waitUntilAnswering();
}

PulseServer::~PulseServer() {
    m_daemon.kill();
    RemoveTree(m_folder);
}

// The daemon is up once a client gets an answer over the socket; the null sink must be there.
bool PulseServer::waitUntilAnswering() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_daemon.wait(0).has_value()) {
            m_error = "pulseaudio ended at start-up";
            return false;
        }
        std::string sources;
        if (RunClient({"pactl", "list", "short", "sources"}, &sources, kStartTimeoutMs) == 0) {
            if (sources.find(kMonitorSource) != std::string::npos) {
                return true;
            }
            m_error = "pulseaudio runs without the null sink";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    m_error = "pulseaudio did not answer within " + std::to_string(kStartTimeoutMs) + " ms";
    return false;
}

std::vector<std::string> PulseServer::environment() const {
    return {"PULSE_SERVER=" + m_address, "HOME=" + m_folder, "XDG_RUNTIME_DIR=" + m_folder + "/run",
            "PULSE_RUNTIME_PATH=" + m_folder + "/run"};
}

std::string PulseServer::log() const {
    return ReadTextFile(m_folder + "/daemon.log");
}

int PulseServer::RunClient(const std::vector<std::string>& argv, std::string* output,
                           int timeoutMs) {
    ChildProcess client;
    if (!client.start({argv, environment(), false, true, {}})) {
        return -1;
    }
    std::string text = client.readAllOutput();
    if (output != nullptr) {
        *output = std::move(text);
    }
    return client.wait(timeoutMs).value_or(-1);
}

std::unique_ptr<ChildProcess> PulseServer::StartClient(const std::vector<std::string>& argv) {
    auto client = std::make_unique<ChildProcess>();
    return client->start({argv, environment(), false, false, {}}) ? std::move(client) : nullptr;
}

bool WriteWavFile(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
                  int channels) {
    std::ofstream out(path, std::ios::binary);
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.put(static_cast<char>(value >> (8 * i)));
        }
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out << "RIFF";
    put(36 + dataBytes, 4);
    out << "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 2, 4);
    put(channels * 2, 2);
    put(16, 2);
    out << "data";
    put(dataBytes, 4);
    for (const std::int16_t sample : samples) {
        put(static_cast<std::uint16_t>(sample), 2);
    }
    return static_cast<bool>(out);
}

}  // namespace sonaro::test
