#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <thread>

#include "platform/pulse_wave_out_device.h"
#include "platform/pulse_wave_out_list.h"
#include "support/audio_files.h"
#include "support/monitor_recording.h"
#include "support/pulse_server.h"
#include "support/signal.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using test::PulseServer;
using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr int kQueueFrames = kRate / 2;
constexpr const char* kSecondSink = "sonaro_second_sink";
constexpr const char* kSecondDescription = "Sonaro Second Output";

// Polls `done` every 10 ms for up to 10 s.
template <typename Condition>
bool waitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A 1 kHz tone at `amplitude` of full scale, the same on both channels.
std::vector<std::int16_t> tone(double amplitude, int ms) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < kRate * ms / 1000; ++i) {
        const auto value = static_cast<std::int16_t>(
            std::lround(amplitude * 32767 * std::sin(2 * std::numbers::pi * 1000 * i / kRate)));
        samples.insert(samples.end(), {value, value});
    }
    return samples;
}

// Writes the stereo `samples` as room comes free; false when the device failed or stayed full.
bool feed(WaveOutDevice& device, const std::vector<std::int16_t>& samples) {
    std::size_t at = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (at < samples.size()) {
        device.ClearReady();
        const int frames =
            std::min(device.WritableFrames(), static_cast<int>((samples.size() - at) / 2));
        if (frames > 0) {
            if (!device.Write(samples.data() + at, frames)) {
                return false;
            }
            at += static_cast<std::size_t>(frames) * 2;
        } else if (device.hasFailed() || std::chrono::steady_clock::now() > deadline) {
            return false;
        } else {
            pollfd ready{device.readyHandle(), POLLIN, 0};
            poll(&ready, 1, 100);
        }
    }
    return true;
}

bool handleReadable(WaitHandle handle) {
    pollfd ready{handle, POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
}

class PulsePlaybackTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_server.running()) << m_server.error() << m_server.log(); }

    // Plays `samples` to the end on `device` (opened here) while `parecord` records the monitor
    // of `sink`; gives the left channel of what was recorded.
    std::vector<InternalSample> playAndRecord(WaveOutDevice& device, const std::string& sink,
                                              const std::vector<std::int16_t>& samples,
                                              int volumeDb = 0) {
        test::MonitorRecording monitor(m_server, sink);
        EXPECT_TRUE(monitor.started());
        EXPECT_TRUE(device.Open(kRate, 2, kQueueFrames, false)) << device.errorText();
        EXPECT_TRUE(device.SetVolumeDb(volumeDb));
        EXPECT_TRUE(feed(device, samples));
        device.Trigger();
        const auto written = static_cast<std::int64_t>(samples.size() / 2);
        EXPECT_TRUE(waitFor([&] { return device.PlayedFrames() == written; }));
        device.Close();
        return monitor.Finish();
    }

    // Level in dB of full scale of the 1 kHz tone in half a second from 50 ms after its onset;
    // the frequency found there must be 1 kHz.
    static double toneLevelDb(const std::vector<InternalSample>& left) {
        const auto onset = std::find_if(left.begin(), left.end(), [](InternalSample s) {
            return std::abs(s) > kInternalFullScale / 20;
        });
        if (left.end() - onset < kRate / 20 + kRate / 2) {
            ADD_FAILURE() << "less than half a second of the tone was recorded";
            return -1000;
        }
        const std::vector<InternalSample> window(onset + kRate / 20,
                                                 onset + kRate / 20 + kRate / 2);
        EXPECT_EQ(test::DominantFrequency(window, kRate, 900, 1100, 10), 1000);
        return test::AmplitudeToDb(test::ToneAmplitude(window, 1000, kRate));
    }

    // Rows of `pactl list short <what>` as their first two columns (index, name or sink).
    std::vector<std::pair<std::string, std::string>> listShort(const std::string& what) {
        std::string text;
        m_server.RunClient({"pactl", "list", "short", what}, &text);
        std::vector<std::pair<std::string, std::string>> rows;
        std::istringstream lines(text);
        for (std::string first, second, rest; std::getline(lines, first, '\t') &&
                                              std::getline(lines, second, '\t') &&
                                              std::getline(lines, rest);) {
            rows.emplace_back(first, second);
        }
        return rows;
    }

    // How many playback streams play on `sink`.
    long streamsOn(const std::string& sink) {
        const auto sinks = listShort("sinks");
        const auto found = std::find_if(sinks.begin(), sinks.end(),
                                        [&](const auto& row) { return row.second == sink; });
        const auto inputs = listShort("sink-inputs");
        return found == sinks.end()
                   ? 0
                   : std::count_if(inputs.begin(), inputs.end(),
                                   [&](const auto& row) { return row.second == found->first; });
    }

    PulseServer m_server;
    PulseWaveOutList m_list;
};

// The default output, chosen by an empty name, the list's name for it or a name not listed.
TEST_F(PulsePlaybackTest, ToneIsHeardAtItsFrequencyAndLevelScaledByTheVolume) {
    const std::vector<std::int16_t> samples = tone(0.5, 1000);
    auto device = m_list.CreateDevice(WaveOutDeviceList::kDefaultDevice);
    EXPECT_NEAR(toneLevelDb(playAndRecord(*device, PulseServer::kSinkName, samples)),
                test::AmplitudeToDb(0.5), 0.5);
    device = m_list.CreateDevice("No Such Output");
    EXPECT_NEAR(toneLevelDb(playAndRecord(*device, PulseServer::kSinkName, samples, -6)),
                test::AmplitudeToDb(0.5) - 6, 0.5);
    device = m_list.CreateDevice("");
    const std::vector<InternalSample> muted =
        playAndRecord(*device, PulseServer::kSinkName, samples, -40);
    EXPECT_GT(muted.size(), static_cast<std::size_t>(kRate));
    EXPECT_TRUE(std::all_of(muted.begin(), muted.end(), [](InternalSample s) { return s == 0; }));
}

TEST_F(PulsePlaybackTest, PositionRisesHoldsWhilePausedAndCountsFlushedFramesAsHeard) {
    const std::vector<std::int16_t> samples = tone(0.25, 2000);
    auto device = m_list.CreateDevice("");
    ASSERT_TRUE(device->Open(kRate, 2, kQueueFrames, true)) << device->errorText();
    const int room = device->WritableFrames();
    ASSERT_GT(room, kQueueFrames / 2);
    ASSERT_TRUE(device->Write(samples.data(), room));
    EXPECT_EQ(device->WritableFrames(), 0);
    EXPECT_FALSE(device->Write(samples.data(), 1)) << "the queue is full";
    EXPECT_FALSE(device->hasFailed());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device->PlayedFrames(), 0) << "it started paused";

    ASSERT_TRUE(device->SetPaused(false));
    std::int64_t last = 0;
    EXPECT_TRUE(waitFor([&] {
        const std::int64_t played = device->PlayedFrames();
        EXPECT_GE(played, last);
        EXPECT_LE(played, room);
        last = played;
        return played > room / 4;
    }));
    ASSERT_TRUE(device->SetPaused(true));
    std::this_thread::sleep_for(200ms);
    const std::int64_t held = device->PlayedFrames();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(device->PlayedFrames(), held);
    EXPECT_LT(held, room);

    // What was dropped counts as heard, and later frames are counted on from there.
    ASSERT_TRUE(device->Flush());
    EXPECT_EQ(device->PlayedFrames(), room);
    const int more = std::min(device->WritableFrames(), kRate / 4);
    ASSERT_GT(more, 0);
    ASSERT_TRUE(device->Write(samples.data(), more));
    ASSERT_TRUE(device->SetPaused(false));
    EXPECT_TRUE(waitFor([&] { return device->PlayedFrames() == room + more; }))
        << device->PlayedFrames();
    EXPECT_FALSE(device->hasFailed());
}

TEST_F(PulsePlaybackTest, NamedOutputIsPlayedUntilItGoesAndThenFails) {
    std::string module;
    ASSERT_EQ(
        m_server.RunClient(
            {"pactl", "load-module", "module-null-sink", "sink_name=" + std::string(kSecondSink),
             "sink_properties='device.description=\"" + std::string(kSecondDescription) + "\"'"},
            &module),
        0);
    module.erase(module.find_last_not_of(" \n") + 1);
    EXPECT_EQ(m_list.DeviceNames(),
              (std::vector<std::string>{PulseServer::kSinkDescription, kSecondDescription}));

    auto device = m_list.CreateDevice(kSecondDescription);
    EXPECT_NEAR(toneLevelDb(playAndRecord(*device, kSecondSink, tone(0.5, 1000))),
                test::AmplitudeToDb(0.5), 0.5);

    // The default output follows the server's default there and back; the named one stays.
    ASSERT_TRUE(device->Open(kRate, 2, kQueueFrames, false)) << device->errorText();
    const std::vector<std::int16_t> samples = tone(0.5, 500);
    ASSERT_TRUE(device->Write(samples.data(), device->WritableFrames()));
    auto follower = m_list.CreateDevice("");
    ASSERT_TRUE(follower->Open(kRate, 2, kQueueFrames, false)) << follower->errorText();
    ASSERT_EQ(m_server.RunClient({"pactl", "set-default-sink", kSecondSink}), 0);
    EXPECT_TRUE(waitFor([&] { return streamsOn(kSecondSink) == 2; }));
    ASSERT_EQ(m_server.RunClient({"pactl", "unload-module", module}), 0);
    EXPECT_TRUE(waitFor([&] {
        device->ClearReady();
        return device->hasFailed();
    }));
    EXPECT_TRUE(handleReadable(device->readyHandle())) << "a failed device stays ready";
    EXPECT_FALSE(device->Write(samples.data(), 1));
    EXPECT_FALSE(device->SetPaused(true));
    EXPECT_EQ(device->errorText(), "The sound output \"" + std::string(kSecondDescription) +
                                       "\" is no longer available.");
    device->Close();
    device->Close();
    EXPECT_TRUE(waitFor([&] { return streamsOn(PulseServer::kSinkName) == 1; }));
    EXPECT_FALSE(follower->hasFailed());
    EXPECT_TRUE(follower->Write(samples.data(), 1));
}

TEST(PulsePlaybackWithoutServerTest, OpenFailsWithTheReason) {
    test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/sonaro-no-server");
    PulseWaveOutList list;
    EXPECT_TRUE(list.DeviceNames().empty());
    auto device = list.CreateDevice("");
    EXPECT_FALSE(device->Open(kRate, 2, kQueueFrames, false));
    EXPECT_EQ(device->errorText().rfind("The sound server cannot be reached: ", 0), 0u)
        << device->errorText();
    EXPECT_FALSE(device->hasFailed());
    EXPECT_FALSE(device->Write(nullptr, 0));
    device->Close();
}

}  // namespace
}  // namespace sonaro
