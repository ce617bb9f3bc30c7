#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "audio/placeholder_sinks.h"
#include "record/capture_engine.h"
#include "support/manual_dispatcher.h"
#include "support/memory_sink.h"
#include "support/scripted_wave_in.h"
#include "support/signal.h"

namespace sonaro {
namespace {

using test::MemorySink;
using test::ScriptedInput;
using test::ScriptedWaveInList;

class LoggingListener final : public CaptureListener {
  public:
    void OnRecording(std::uint32_t cookie) override { add("recording", cookie); }
    void OnWaitingForVoice(std::uint32_t cookie) override { add("waiting", cookie); }
    void OnStopped(std::uint32_t cookie) override { add("stopped", cookie); }
    void OnRecordedTime(int ms, std::uint32_t) override { times.push_back(ms); }
    void OnLevels(const LevelSet* levels, std::uint32_t) override { lastLevels = *levels; }
    void OnCaptureFailed(CaptureFailure failure, std::uint32_t cookie) override {
        add(failure == CaptureFailure::DeviceStalled ? "stalled" : "lost", cookie);
    }
    void OnSoundLost(int lostMs, std::int64_t atMs, std::uint32_t cookie) override {
        add("gap " + std::to_string(lostMs) + " ms at " + std::to_string(atMs), cookie);
    }

    bool saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::vector<std::string> events;
    std::vector<int> times;
    LevelSet lastLevels;

  private:
    void add(const std::string& event, std::uint32_t cookie) {
        EXPECT_EQ(cookie, 7u);
        events.push_back(event);
    }
};

constexpr std::int8_t kNoVoiceGate = -127;

class CaptureEngineTest : public testing::Test {
  protected:
    void build(std::vector<ScriptedInput> inputs, int stallMs = 10000) {
        m_list = std::make_unique<ScriptedWaveInList>(std::move(inputs));
        m_engine = std::make_unique<CaptureEngine>(*m_list, m_dispatcher, stallMs);
        m_engine->SetListener(&m_listener, 7);
    }

    MemorySink& memoryWriter(int rate = 8000, int channels = 1) {
        m_writer = MakeSink<MemorySink>(rate, channels);
        return static_cast<MemorySink&>(*m_writer);
    }

    // Records into m_writer at once, without voice gate or silence limit.
    bool startRecording(int maxMs = 0) {
        return m_engine->StartCapture(m_writer, maxMs, kNoVoiceGate,
                                      CaptureEngine::kNoSilenceLimitMs,
                                      CaptureEngine::kStartRecording);
    }

    void playScriptAndStop() {
        ASSERT_TRUE(m_list->waitScriptConsumed(10000));
        m_engine->StopCapture();
    }

    test::ManualDispatcher m_dispatcher;
    LoggingListener m_listener;
    std::unique_ptr<ScriptedWaveInList> m_list;
    std::unique_ptr<CaptureEngine> m_engine;
    SinkRef m_writer;
};

ScriptedInput input(std::function<std::int16_t(std::int64_t, int, int)> signal,
                    std::int64_t frames) {
    ScriptedInput in;
    in.name = "Scripted Mic";
    in.signal = std::move(signal);
    in.frames = frames;
    return in;
}

TEST_F(CaptureEngineTest, DeviceWithoutTheWriterFormatIsConvertedForTheWriterAlsoWhenResumed) {
    ScriptedInput mic = input(test::ToneBetween(0.5, 0, 1000), 44100);
    mic.acceptedFormats = {{44100, 1}};
    build({mic});
    MemorySink& memory = memoryWriter(48000, 2);

    ASSERT_TRUE(startRecording());
    EXPECT_EQ(m_listener.events, (std::vector<std::string>{"recording"}));
    playScriptAndStop();

    EXPECT_EQ(m_list->openLog(),
              (std::vector<std::string>{"48000/2 refused", "44100/2 refused", "22050/2 refused",
                                        "11025/2 refused", "8000/2 refused", "48000/1 refused",
                                        "44100/1 opened"}));
    EXPECT_EQ(m_engine->deviceRate(), 44100);
    EXPECT_EQ(m_list->lastFramesPerBuffer(), 4410);
    EXPECT_NEAR(static_cast<double>(memory.frames()), 48000, 48);
    const auto left = memory.channel(0);
    EXPECT_EQ(left, memory.channel(1));
    EXPECT_EQ(test::DominantFrequency(left, 48000, 900, 1100, 10), 1000);
    EXPECT_NEAR(test::AmplitudeToDb(test::ToneAmplitude(left, 1000, 48000)), -6.02, 0.3);
    EXPECT_EQ(m_listener.events.back(), "stopped");
    EXPECT_EQ(m_writer->refCount(), 1u) << "the converters are released at the stop";

    // A pause is a stop and a new start on the same writer: through a rate converter the trims
    // must still land after what the writer already holds.
    const std::int64_t firstPart = memory.frames();
    mic.signal = test::ToneBetween(0.5, 0, 500);
    build({mic});
    ASSERT_TRUE(m_engine->StartCapture(m_writer, 0, -18, 5000, CaptureEngine::kStartRecording));
    playScriptAndStop();
    // Loud for 500 ms of the second second: the file ends 550 ms into it.
    EXPECT_NEAR(static_cast<double>(memory.frames()), firstPart + 550 * 48, 48);
}

// The meter shows a slot per writer channel, also for a mono device, and runs into a discarding
// sink too. Half of full scale is twice the 0 dB peak (+6 dB), a quarter reads 0 dB.
TEST_F(CaptureEngineTest, LevelsFollowTheWriterChannels) {
    const struct {
        SinkRef sink;
        std::vector<std::pair<int, int>> deviceFormats;
        double amplitude;
        int count;
        int level;
    } cases[] = {{MakeSink<MemorySink>(8000, 2), {{8000, 1}}, 0.5, 2, 6},
                 {MakeSink<DiscardSink>(), {}, 0.25, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        ScriptedInput mic = input(test::ToneBetween(c.amplitude, 0, 1000), 8000);
        mic.acceptedFormats = c.deviceFormats;
        build({mic});
        m_listener.lastLevels = {};
        m_writer = c.sink;
        ASSERT_TRUE(startRecording());
        ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_listener.lastLevels.count == c.count; }));
        for (int slot = 0; slot < c.count; ++slot) {
            EXPECT_EQ(m_listener.lastLevels.levels[slot], c.level);
        }
        m_engine->StopCapture();
    }
}

// 8000 Hz gives buffers of 800 frames. Block 2 holds a quiet ramp, block 3 is loud in its first
// half only, then six seconds of silence follow.
TEST_F(CaptureEngineTest, VoiceGateKeepsHalfABlockAndTrimsLongSilence) {
    auto signal = [](std::int64_t frame, int, int) -> std::int16_t {
        if (frame >= 1600 && frame < 2400) {
            return static_cast<std::int16_t>(frame - 1600);  // below -18 dB (1031)
        }
        if (frame >= 2400 && frame < 2800) {
            return frame % 2 == 0 ? 8000 : -8000;
        }
        return 0;
    };
    build({input(signal, 8000 * 7)});
    MemorySink& memory = memoryWriter();
    ASSERT_TRUE(m_engine->StartCapture(m_writer, 0, -18, 5000, 0));
    ASSERT_TRUE(m_list->waitScriptConsumed(10000));
    // Notifications coalesce: wait for the one after the silence sent the engine back to waiting.
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] {
        return m_engine->state() == CaptureState::WaitingForVoice && !m_listener.times.empty() &&
               m_listener.times.back() == 150 && m_listener.events.back() == "waiting";
    }));
    // The time shown never passes the end of the loud block (1200 frames written = 150 ms).
    for (const int ms : m_listener.times) {
        EXPECT_TRUE(ms == 0 || ms == 150) << ms;
    }

    // The output starts with the second half of the quiet block, then the loud one.
    ASSERT_GE(memory.frames(), 1200);
    EXPECT_EQ(memory.samples()[0], ToInternalSample(400));
    EXPECT_EQ(memory.samples()[399], ToInternalSample(799));
    EXPECT_EQ(memory.samples()[400], ToInternalSample(8000));
    // Silence was cut back to 450 ms after the loud block.
    EXPECT_EQ(memory.frames(), (150 + 450) * 8);

    m_engine->StopCapture();
    // The stop trim ends the file 50 ms after the loud block.
    EXPECT_EQ(memory.calls().back(), "S" + std::to_string((150 + 50) * 8));
    EXPECT_EQ(memory.frames(), 200 * 8);
}

// Pre-roll 300 ms and a hang time of one second at 8000 Hz (blocks of 100 ms): two loud blocks
// (at 0.5 s and 3 s) in a quiet ramp below the silence level (-22 dB, 650).
TEST_F(CaptureEngineTest, PreRollKeepsTheSoundBeforeEachWordAndTheGateClosesAfterTheHangTime) {
    const auto quiet = [](std::int64_t frame) {
        return static_cast<std::int16_t>(frame % 500 + 1);
    };
    auto signal = [&](std::int64_t frame, int, int) -> std::int16_t {
        const bool loud = (frame >= 4000 && frame < 4800) || (frame >= 24000 && frame < 24800);
        return loud ? std::int16_t{8000} : quiet(frame);
    };
    build({input(signal, 8000 * 4)});
    MemorySink& memory = memoryWriter();
    m_engine->SetVoicePreRoll(300);
    ASSERT_TRUE(m_engine->StartCapture(m_writer, 0, -18, 1000, 0));
    playScriptAndStop();

    const auto& out = memory.samples();
    ASSERT_EQ(memory.frames(), 6800 + 2400 + 800 + 50 * 8);
    // 2400 frames before the first word, the word, then 450 ms of the quiet after it: the gate
    // closed after one second of quiet and cut the rest.
    EXPECT_EQ(out[0], ToInternalSample(quiet(1600)));
    EXPECT_EQ(out[2399], ToInternalSample(quiet(3999)));
    EXPECT_EQ(out[2400], ToInternalSample(8000));
    EXPECT_EQ(out[6799], ToInternalSample(quiet(4800 + 3599)));
    // The second word comes with its own 300 ms, none of it written before.
    EXPECT_EQ(out[6800], ToInternalSample(quiet(21600)));
    EXPECT_EQ(out[6800 + 2399], ToInternalSample(quiet(23999)));
    EXPECT_EQ(out[6800 + 2400], ToInternalSample(8000));
}

TEST_F(CaptureEngineTest, VoiceInTheSecondHalfOnlyDoesNotWriteTheKeptBlock) {
    build({input(test::ToneBetween(0.5, 250, 300), 8000)});
    MemorySink& memory = memoryWriter();
    ASSERT_TRUE(m_engine->StartCapture(m_writer, 0, -18, 5000, 0));
    playScriptAndStop();
    // Recording starts with block 2 (200-300 ms) and ends 50 ms after it.
    EXPECT_EQ(memory.frames(), 150 * 8);
    EXPECT_EQ(memory.samples()[0], 0);
    EXPECT_NE(memory.samples()[50 * 8 + 5], 0);
}

TEST_F(CaptureEngineTest, WithoutVoiceGateEveryCapturedFrameIsKept) {
    // Ten and a half buffers: the last half buffer arrives only with the drain at the stop.
    build({input(test::ToneBetween(0.001, 0, 2000), 8400)});
    MemorySink& memory = memoryWriter();
    ASSERT_TRUE(
        m_engine->StartCapture(m_writer, 0, kNoVoiceGate, CaptureEngine::kNoSilenceLimitMs, 0));
    playScriptAndStop();
    EXPECT_EQ(memory.frames(), 8400);
}

TEST_F(CaptureEngineTest, SoundTheDeviceLostIsReportedWithItsPlaceInTheOutput) {
    build({input(test::ToneBetween(0.5, 0, 3000), 8000)});
    m_list->SetOverruns(0, {{1600, 400}, {4000, 80}, {4000, 8}});
    MemorySink& memory = memoryWriter();
    ASSERT_TRUE(startRecording());
    playScriptAndStop();
    EXPECT_EQ(m_listener.events, (std::vector<std::string>{"recording", "gap 50 ms at 200",
                                                           "gap 11 ms at 500", "stopped"}));
    EXPECT_EQ(memory.frames(), 8000) << "what was lost leaves a gap, not silence";
}

TEST_F(CaptureEngineTest, MaximumTimeStopsCapture) {
    build({input(test::ToneBetween(0.5, 0, 3000), 8000 * 3)});
    MemorySink& memory = memoryWriter();
    ASSERT_TRUE(startRecording(1000));
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_listener.saw("stopped"); }));
    EXPECT_EQ(m_listener.events, (std::vector<std::string>{"recording", "stopped"}));
    EXPECT_EQ(m_engine->state(), CaptureState::Idle);
    EXPECT_GT(memory.frames(), 1000 * 8);
}

TEST_F(CaptureEngineTest, StalledOrVanishedDeviceEndsCaptureWithAReason) {
    for (const auto end : {test::ScriptEnd::Stall, test::ScriptEnd::Disappear}) {
        ScriptedInput mic = input(test::ToneBetween(0.5, 0, 1000), 8000);
        mic.end = end;
        build({mic}, 100);
        m_listener.events.clear();
        MemorySink& memory = memoryWriter();
        ASSERT_TRUE(startRecording());
        ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_listener.saw("stopped"); }));
        const std::string reason = end == test::ScriptEnd::Stall ? "stalled" : "lost";
        EXPECT_EQ(m_listener.events, (std::vector<std::string>{"recording", reason, "stopped"}));
        EXPECT_EQ(memory.frames(), 8000) << "what was captured before stays in the file";
        EXPECT_EQ(m_writer->refCount(), 1u);
        m_engine->StopCapture();
        EXPECT_EQ(m_listener.events.size(), 3u) << "a later stop finds the engine idle";
    }
}

TEST_F(CaptureEngineTest, StartFailsOnUnusableSinksAndUnopenableDevices) {
    ScriptedInput broken = input({}, 0);
    broken.failOpen = true;
    build({broken});
    EXPECT_FALSE(m_engine->StartCapture(SinkRef(), 0, kNoVoiceGate, 0, 0));
    EXPECT_EQ(m_list->devicesCreated(), 0);

    memoryWriter();
    EXPECT_FALSE(m_engine->StartCapture(m_writer, 0, kNoVoiceGate, 0, 0));
    EXPECT_EQ(m_list->openLog(), (std::vector<std::string>{"8000/1 failed"}));
    EXPECT_EQ(m_writer->refCount(), 1u);
    EXPECT_EQ(m_engine->state(), CaptureState::Idle);
    EXPECT_TRUE(m_listener.events.empty());
}

TEST_F(CaptureEngineTest, BuffersAreATenthOfASecondWithinLimits) {
    EXPECT_EQ(CaptureEngine::FramesPerBuffer(200), 32);
    EXPECT_EQ(CaptureEngine::FramesPerBuffer(96000), 8192);
}

}  // namespace
}  // namespace sonaro
