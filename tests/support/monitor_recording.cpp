#include "support/monitor_recording.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/audio_files.h"

namespace sonaro::test {

namespace {

template <typename Condition>
bool waitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

MonitorRecording::MonitorRecording(PulseServer& server, const std::string& sink)
    : m_path(server.folder() + "/monitor-" + sink + ".raw") {
    std::remove(m_path.c_str());
    m_recorder =
        server.StartClient({"parecord", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                            "--latency-msec=20", "--device=" + sink + ".monitor", m_path});
    m_started = m_recorder != nullptr && waitFor([&] { return bytesSoFar() > 0; });
}

MonitorRecording::~MonitorRecording() {
    m_recorder.reset();
    std::remove(m_path.c_str());
}

std::size_t MonitorRecording::bytesSoFar() const {
    return ReadFileBytes(m_path).size();
}

std::vector<InternalSample> MonitorRecording::Finish() {
    // A tenth of a second more than has arrived: what was heard last has reached the file.
    const std::size_t heard = bytesSoFar();
    waitFor([&] { return bytesSoFar() > heard + kRate * 4 / 10; });
    m_recorder.reset();
    const std::vector<std::uint8_t> bytes = ReadFileBytes(m_path);
    std::vector<InternalSample> left;
    left.reserve(bytes.size() / 4);
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        left.push_back(ToInternalSample(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8)));
    }
    return left;
}

std::vector<SoundSpan> SoundSpans(const std::vector<InternalSample>& samples, int gapFrames) {
    std::vector<SoundSpan> spans;
    bool inSpan = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < kInternalFullScale / 20) {
            continue;
        }
        if (inSpan && i - spans.back().last <= static_cast<std::size_t>(gapFrames)) {
            spans.back().last = i;
        } else {
            spans.push_back({i, i});
            inSpan = true;
        }
    }
    return spans;
}

}  // namespace sonaro::test
