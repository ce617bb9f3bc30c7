// The sound server parts on a private PulseAudio server: the outputs, heard back from a null
// sink's monitor, the inputs recording that monitor, and the tone player.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/embedded_resources.h"
#include "platform/pulse_tone_player.h"
#include "platform/pulse_wave_in_device.h"
#include "platform/pulse_wave_in_list.h"
#include "platform/pulse_wave_out_device.h"
#include "platform/pulse_wave_out_list.h"
#include "record/capture_engine.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/memory_sink.h"
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
    return test::Pcm16Of(test::MakeSine(1000, amplitude, kRate, kRate * ms / 1000, 2));
}

// Level in dB of full scale of the 1 kHz tone in half a second from 50 ms after its onset in
// `left`; the frequency found there must be 1 kHz.
double toneLevelDb(const std::vector<InternalSample>& left) {
    const auto onset = std::find_if(left.begin(), left.end(), [](InternalSample s) {
        return std::abs(s) > kInternalFullScale / 20;
    });
    if (left.end() - onset < kRate / 20 + kRate / 2) {
        ADD_FAILURE() << "less than half a second of the tone was recorded";
        return -1000;
    }
    const std::vector<InternalSample> window(onset + kRate / 20, onset + kRate / 20 + kRate / 2);
    EXPECT_EQ(test::DominantFrequency(window, kRate, 900, 1100, 10), 1000);
    return test::AmplitudeToDb(test::ToneAmplitude(window, 1000, kRate));
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

// The default output, chosen by the list's name for it or by a name not listed.
TEST_F(PulsePlaybackTest, ToneIsHeardAtItsFrequencyAndLevelScaledByTheVolume) {
    const std::vector<std::int16_t> samples = tone(0.5, 1000);
    auto device = m_list.CreateDevice(WaveOutDeviceList::kDefaultDevice);
    EXPECT_NEAR(toneLevelDb(playAndRecord(*device, PulseServer::kSinkName, samples, -6)),
                test::AmplitudeToDb(0.5) - 6, 0.5);
    device = m_list.CreateDevice("No Such Output");
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
    pollfd ready{device->readyHandle(), POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 0), 1) << "a failed device stays ready";
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

class MeterListener final : public CaptureListener {
  public:
    void OnRecording(std::uint32_t) override {}
    void OnWaitingForVoice(std::uint32_t) override {}
    void OnStopped(std::uint32_t) override { stopped = true; }
    void OnRecordedTime(int, std::uint32_t) override {}
    void OnLevels(const LevelSet* levels, std::uint32_t) override {
        for (int i = 0; i < levels->count; ++i) {
            loudest = std::max<int>(loudest, levels->levels[static_cast<std::size_t>(i)]);
        }
    }
    void OnCaptureFailed(CaptureFailure reason, std::uint32_t) override { failure = reason; }

    int loudest = -127;
    bool stopped = false;
    CaptureFailure failure = CaptureFailure::None;
};

class PulseCaptureTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_server.running()) << m_server.error() << m_server.log(); }

    int monitorDevice() {
        const std::vector<std::string> names = m_list.DeviceNames();
        const auto found = std::find(names.begin(), names.end(), PulseServer::kMonitorDescription);
        return found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }

    std::string sourceVolume() {
        std::string output;
        m_server.RunClient({"pactl", "get-source-volume", PulseServer::kMonitorSource}, &output);
        return output;
    }

    std::string toneFile(double amplitude, int ms) {
        const std::string path = m_server.folder() + "/tone.wav";
        EXPECT_TRUE(test::WriteWavFile(path, tone(amplitude, ms), kRate, 2));
        return path;
    }

    // Plays `file` into the null sink while the engine records its monitor; gives the left
    // channel of what was recorded.
    std::vector<InternalSample> recordWhilePlaying(const std::string& file) {
        auto writer = MakeSink<test::MemorySink>(kRate, 2);
        auto* memory = static_cast<test::MemorySink*>(writer.get());
        CaptureEngine engine(m_list, m_dispatcher);
        engine.SetListener(&m_listener, 0);
        engine.ApplyInputSelection({monitorDevice() + 1, 0});
        EXPECT_TRUE(engine.StartCapture(writer, 0, -127, CaptureEngine::kNoSilenceLimitMs,
                                        CaptureEngine::kStartRecording));
        auto player = m_server.StartClient(
            {"paplay", "--device=" + std::string(PulseServer::kSinkName), file});
        EXPECT_NE(player, nullptr);
        while (player != nullptr && !player->wait(0).has_value()) {
            m_dispatcher.pumpFor(20);
        }
        engine.StopCapture();
        EXPECT_TRUE(m_listener.stopped);
        return memory->channel(0);
    }

    PulseServer m_server;
    PulseWaveInList m_list;
    test::ManualDispatcher m_dispatcher;
    MeterListener m_listener;
};

TEST_F(PulseCaptureTest, MonitorSourceIsListedUnderAStableName) {
    const int monitor = monitorDevice();
    ASSERT_GE(monitor, 0) << testing::PrintToString(m_list.DeviceNames()) << m_list.errorText();
    EXPECT_EQ(m_list.PreferredDevice(), monitor);
    EXPECT_EQ(m_list.SourceLines(monitor),
              std::vector<std::string>{PulseServer::kMonitorDescription});
    PulseWaveInList again;
    EXPECT_EQ(again.DeviceNames(), m_list.DeviceNames());

    // A second output with the same description gets a name of its own.
    ASSERT_EQ(
        m_server.RunClient({"pactl", "load-module", "module-null-sink", "sink_name=other_sink",
                            "sink_properties='device.description=\"Sonaro Test Output\"'"}),
        0);
    std::vector<std::string> names = m_list.DeviceNames();
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(std::adjacent_find(names.begin(), names.end()) == names.end());
    EXPECT_EQ(std::count(names.begin(), names.end(), "Monitor of Sonaro Test Output (2)"), 1);
}

TEST_F(PulseCaptureTest, RecordedToneKeepsItsFrequencyAndLevelScaledByTheRecordVolume) {
    // A quarter of full scale is 0 dB on the capture scale.
    EXPECT_NEAR(toneLevelDb(recordWhilePlaying(toneFile(0.25, 1500))), test::AmplitudeToDb(0.25),
                1.0);
    EXPECT_NEAR(m_listener.loudest, 0, 1);

    const int monitor = monitorDevice();
    ASSERT_GE(monitor, 0);
    EXPECT_TRUE(m_list.SetRecordSourceAndVolume(monitor, 0, -6));
    EXPECT_THAT(sourceVolume(), testing::HasSubstr("-6.00 dB"));
    m_listener.loudest = -127;
    recordWhilePlaying(toneFile(0.25, 1000));
    EXPECT_NEAR(m_listener.loudest, -6, 1);

    EXPECT_TRUE(m_list.SetRecordSourceAndVolume(monitor, 0, -36));
    EXPECT_THAT(sourceVolume(), testing::HasSubstr("0%"));
    EXPECT_FALSE(m_list.SetRecordSourceAndVolume(monitor, 1, 0)) << "there is only one line";
    EXPECT_TRUE(m_list.SetRecordSourceAndVolume(monitor, -1, 0)) << "source 0 changes nothing";
    EXPECT_THAT(sourceVolume(), testing::HasSubstr("0%"));
}

// Nothing takes the buffers for a second: the device keeps what fits, drops the rest and tells
// the next block how much came before it.
TEST_F(PulseCaptureTest, InputDroppedWhileTheBuffersWereFullIsReportedWithTheNextBlock) {
    std::unique_ptr<WaveInDevice> device = m_list.CreateDevice(monitorDevice());
    ASSERT_EQ(device->Open(kRate, 2, 441, 2), WaveInOpenResult::Opened) << device->errorText();
    auto player = m_server.StartClient(
        {"paplay", "--device=" + std::string(PulseServer::kSinkName), toneFile(0.5, 4000)});
    ASSERT_TRUE(device->Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto waitForBlock = [&] {
        while (device->PeekFilled().frames == 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{device->readyHandle(), POLLIN, 0};
            poll(&ready, 1, 100);
        }
        return device->PeekFilled();
    };
    // Sound flows once the first block is there (an idle null sink's monitor starts late).
    ASSERT_GT(waitForBlock().frames, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::int64_t lost = 0;
    for (CaptureBlock block = waitForBlock(); lost == 0 && block.frames > 0;
         block = waitForBlock()) {
        lost += block.lostFramesBefore;
        device->ReleaseFilled();
    }
    device->Reset();
    device->Close();
    EXPECT_GT(lost, kRate / 2);
    // Later gaps may already be counted, not yet reported.
    EXPECT_GE(static_cast<PulseWaveInDevice*>(device.get())->overrunBytes(),
              static_cast<std::uint64_t>(lost) * 4);
}

TEST_F(PulseCaptureTest, VanishingSourceEndsCaptureWithAReason) {
    CaptureEngine engine(m_list, m_dispatcher);
    engine.SetListener(&m_listener, 0);
    engine.ApplyInputSelection({monitorDevice() + 1, 0});
    ASSERT_TRUE(engine.StartCapture(MakeSink<test::MemorySink>(kRate, 2), 0, -127,
                                    CaptureEngine::kNoSilenceLimitMs,
                                    CaptureEngine::kStartRecording));
    ASSERT_EQ(m_server.RunClient({"pactl", "unload-module", "module-null-sink"}), 0);
    EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return m_listener.stopped; }));
    EXPECT_EQ(m_listener.failure, CaptureFailure::DeviceLost);
}

TEST(PulseTonePlayerTest, TruncatedOrForeignFilesAreRefused) {
    const auto bytes = EmbeddedResource("WAV_RECORD_TONE");
    WavClip clip;
    EXPECT_FALSE(ParseWavClip(bytes.first(30), clip)) << "cut inside the format chunk";
    std::vector<std::uint8_t> float32(bytes.begin(), bytes.end());
    float32[20] = 3;  // format tag: float
    EXPECT_FALSE(ParseWavClip(float32, clip));
    std::vector<std::uint8_t> shortData(bytes.begin(), bytes.begin() + 100);
    ASSERT_TRUE(ParseWavClip(shortData, clip)) << "a data chunk longer than the file is cut";
    EXPECT_EQ(clip.samples.size(), 100u - 44u);
}

// Each built-in tone is a short clip, and playing it returns once it has been played.
TEST_F(PulsePlaybackTest, TonePlayerReturnsAfterTheToneHasBeenPlayed) {
    PulseTonePlayer player;
    for (const char* name : {"WAV_STOPPED_TONE", "WAV_RECORD_TONE"}) {
        WavClip clip;
        ASSERT_TRUE(ParseWavClip(EmbeddedResource(name), clip)) << name;
        const auto length =
            std::chrono::microseconds(static_cast<std::int64_t>(clip.samples.size()) * 1000000 /
                                      (2 * clip.channels * clip.rate));
        EXPECT_GT(length, 50ms) << name;
        EXPECT_LT(length, 500ms) << name;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(player.PlayTone(name)) << player.errorText();
        EXPECT_GE(std::chrono::steady_clock::now() - start, length) << name;
    }
    EXPECT_TRUE(EmbeddedResource("WAV_NO_SUCH_TONE").empty());
    EXPECT_FALSE(player.PlayTone("WAV_NO_SUCH_TONE"));
}

TEST(PulseWithoutServerTest, NothingOpensOrPlaysAndNothingHangs) {
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

    PulseTonePlayer player;
    EXPECT_FALSE(player.PlayTone("WAV_RECORD_TONE"));
    EXPECT_FALSE(player.errorText().empty());
}

}  // namespace
}  // namespace sonaro
