#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "platform/pulse_wave_in_device.h"
#include "platform/pulse_wave_in_list.h"
#include "record/capture_engine.h"
#include "support/manual_dispatcher.h"
#include "support/memory_sink.h"
#include "support/pulse_server.h"
#include "support/signal.h"

namespace sonaro {
namespace {

using test::PulseServer;

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

    // A 1 kHz tone at `amplitude` of full scale, 44100 Hz stereo, as a WAV file.
    std::string toneFile(double amplitude, int ms) {
        std::vector<std::int16_t> samples;
        for (int i = 0; i < 44100 * ms / 1000; ++i) {
            const double value =
                amplitude * 32767 * std::sin(2 * std::numbers::pi * 1000 * i / 44100);
            samples.push_back(static_cast<std::int16_t>(std::lround(value)));
            samples.push_back(static_cast<std::int16_t>(std::lround(value)));
        }
        const std::string path = m_server.folder() + "/tone.wav";
        EXPECT_TRUE(test::WriteWavFile(path, samples, 44100, 2));
        return path;
    }

    // Plays `file` into the null sink while the engine records its monitor; gives the left
    // channel of what was recorded.
    std::vector<InternalSample> recordWhilePlaying(const std::string& file) {
        auto writer = MakeSink<test::MemorySink>(44100, 2);
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

TEST_F(PulseCaptureTest, RecordedToneKeepsItsFrequencyAndLevel) {
    const std::string file = toneFile(0.25, 1500);
    const std::vector<InternalSample> recorded = recordWhilePlaying(file);
    // A quarter of full scale is 0 dB on the capture scale.
    EXPECT_NEAR(m_listener.loudest, 0, 1);
    const auto first = std::find_if(recorded.begin(), recorded.end(),
                                    [](InternalSample s) { return std::abs(s) > 20000; });
    ASSERT_GT(recorded.end() - first, 44100) << "at least a second of the tone was recorded";
    const std::vector<InternalSample> second(first + 2205, first + 2205 + 44100);
    EXPECT_EQ(test::DominantFrequency(second, 44100, 900, 1100, 10), 1000);
    EXPECT_NEAR(test::AmplitudeToDb(test::ToneAmplitude(second, 1000, 44100)),
                test::AmplitudeToDb(0.25), 1.0);
}

TEST_F(PulseCaptureTest, RecordVolumeSetsTheSourceVolume) {
    const int monitor = monitorDevice();
    ASSERT_GE(monitor, 0);
    EXPECT_TRUE(m_list.SetRecordSourceAndVolume(monitor, 0, -6));
    EXPECT_THAT(sourceVolume(), testing::HasSubstr("-6.00 dB"));

    // The volume applies to what is recorded: the same tone now reads 6 dB lower.
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
    ASSERT_EQ(device->Open(44100, 2, 441, 2), WaveInOpenResult::Opened) << device->errorText();
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
    EXPECT_GT(lost, 44100 / 2);
    // Later gaps may already be counted, not yet reported.
    EXPECT_GE(static_cast<PulseWaveInDevice*>(device.get())->overrunBytes(),
              static_cast<std::uint64_t>(lost) * 4);
}

TEST_F(PulseCaptureTest, VanishingSourceEndsCaptureWithAReason) {
    CaptureEngine engine(m_list, m_dispatcher);
    engine.SetListener(&m_listener, 0);
    engine.ApplyInputSelection({monitorDevice() + 1, 0});
    ASSERT_TRUE(engine.StartCapture(MakeSink<test::MemorySink>(44100, 2), 0, -127,
                                    CaptureEngine::kNoSilenceLimitMs,
                                    CaptureEngine::kStartRecording));
    ASSERT_EQ(m_server.RunClient({"pactl", "unload-module", "module-null-sink"}), 0);
    EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return m_listener.stopped; }));
    EXPECT_EQ(m_listener.failure, CaptureFailure::DeviceLost);
}

}  // namespace
}  // namespace sonaro
