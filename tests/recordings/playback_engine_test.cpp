#include "recordings/playback_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "audio/time_conversion.h"
#include "platform/pulse_wave_out_list.h"
#include "support/manual_dispatcher.h"
#include "support/memory_source.h"
#include "support/monitor_recording.h"
#include "support/scripted_wave_out.h"
#include "support/signal.h"

namespace sonaro {
namespace {

using test::InternalSine;
using test::MemorySource;

// What the engine told its listener, in order.
class ListenerLog final : public PlaybackListener {
  public:
    void OnStarted(std::uint32_t) override { events.push_back("started"); }
    void OnStopped(std::uint32_t) override { events.push_back("stopped"); }
    void OnPaused(std::uint32_t) override { events.push_back("paused"); }
    void OnFailed(const std::string& reason, std::uint32_t) override {
        events.push_back("failed: " + reason);
    }
    void OnPosition(std::int64_t ms, std::uint32_t) override { positions.push_back(ms); }
    void OnLevels(const LevelSet& levels, std::uint32_t) override { lastLevels = levels; }

    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    std::vector<std::string> events;
    std::vector<std::int64_t> positions;
    LevelSet lastLevels;
};

constexpr int kRate = 8000;
constexpr int kBuffer = kRate / 10;

class PlaybackEngineTest : public ::testing::Test {
  protected:
    PlaybackEngineTest() { engine.SetListener(&log, 7); }

    // `seconds` of a 440 Hz tone at half scale, stereo with the right channel inverted.
    static SourceRef Tone(double seconds, std::int32_t peakBound = AudioSource::kFullScalePeak) {
        std::vector<InternalSample> samples =
            InternalSine(static_cast<int>(seconds * kRate), 2, kRate, 440, 262144);
        for (std::size_t i = 1; i < samples.size(); i += 2) {
            samples[i] = -samples[i];
        }
        return MakeSource<MemorySource>(kRate, 2, std::move(samples), peakBound);
    }
    static std::vector<std::int16_t> Expected(const SourceRef& source, std::int64_t from,
                                              std::int64_t frames) {
        std::vector<InternalSample> internal(static_cast<std::size_t>(frames) * 2);
        source->Seek(from);
        source->Read(internal.data(), static_cast<int>(frames));
        std::vector<std::int16_t> pcm(internal.size());
        std::transform(internal.begin(), internal.end(), pcm.begin(), ToPcm16);
        return pcm;
    }
    test::WaveOutScript& script() { return outputs.script(); }
    // The device holds as much as it takes and the producer waits.
    bool ringFull() {
        return ui.pumpUntil([&] {
            const auto state = script().snapshot();
            return state.writtenFrames - state.playedFrames == WaveOutput::kSlotCount * kBuffer;
        });
    }
    // `frames` frames written from frame `from` on, once they are.
    std::vector<std::int16_t> writtenAfter(std::int64_t from, std::int64_t frames) {
        if (!pumpUntilWritten(from + frames)) {
            return {};
        }
        const auto state = script().snapshot();
        return {state.samples.begin() + from * 2, state.samples.begin() + (from + frames) * 2};
    }
    bool pumpUntilWritten(std::int64_t frames) {
        return ui.pumpUntil([&] { return script().snapshot().writtenFrames >= frames; });
    }

    test::ManualDispatcher ui;
    test::ScriptedWaveOutList outputs{{"Speakers", "Headphones"}};
    PlaybackEngine engine{outputs, ui};
    ListenerLog log;
};

TEST_F(PlaybackEngineTest, PlaysEverySampleToTheEndThenReportsLengthAndStopsOnce) {
    SourceRef source = Tone(2.05);
    const SourceRef reference = Tone(2.05);
    script().SetAutoPlay(true);
    engine.SetDeviceSelection({"Headphones"});
    engine.SetVolume(-6);
    ASSERT_TRUE(engine.Play(source));
    EXPECT_TRUE(engine.IsPlaying());
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }));

    const auto heard = script().snapshot();
    EXPECT_EQ(heard.deviceName, "Headphones");
    EXPECT_EQ(heard.rate, kRate);
    EXPECT_EQ(heard.channels, 2);
    EXPECT_EQ(heard.queueFrames, WaveOutput::kSlotCount * kBuffer);
    EXPECT_EQ(heard.volumeDb, -6);
    EXPECT_FALSE(heard.open);
    EXPECT_EQ(heard.samples, Expected(reference, 0, reference->GetLength()));
    EXPECT_EQ(log.events, (std::vector<std::string>{"started", "stopped"}));
    ASSERT_FALSE(log.positions.empty());
    EXPECT_TRUE(std::is_sorted(log.positions.begin(), log.positions.end()));
    EXPECT_EQ(log.positions.back(), 2050);
    EXPECT_EQ(source->refCount(), 1u) << "the engine let go of the source";
}

TEST_F(PlaybackEngineTest, PositionIsWhatHasBeenHeardAndAPauseHoldsTheOutput) {
    ASSERT_TRUE(engine.Play(Tone(10)));
    ASSERT_TRUE(pumpUntilWritten(WaveOutput::kSlotCount * kBuffer));
    EXPECT_EQ(script().snapshot().writtenFrames, WaveOutput::kSlotCount * kBuffer)
        << "never more than the ring holds";
    EXPECT_EQ(engine.position(), 0);

    script().Hear(kBuffer * 3 + kBuffer / 2);
    ASSERT_TRUE(ui.pumpUntil([&] { return !log.positions.empty(); }));
    EXPECT_EQ(log.positions.back(), 300) << "only whole buffers count as heard";
    EXPECT_EQ(engine.position(), 3 * kBuffer);
    EXPECT_EQ(log.lastLevels.count, 2);
    EXPECT_EQ(log.lastLevels.levels[0], 6) << "half scale is 6 dB above the meter's 0 dB";
    ASSERT_TRUE(pumpUntilWritten(WaveOutput::kSlotCount * kBuffer + 3 * kBuffer));

    engine.Pause();
    EXPECT_TRUE(engine.IsPaused());
    EXPECT_TRUE(engine.IsPlaying());
    EXPECT_TRUE(script().snapshot().paused);
    engine.Pause();
    engine.Resume();
    EXPECT_FALSE(engine.IsPaused());
    EXPECT_FALSE(script().snapshot().paused);
    EXPECT_EQ(log.events, (std::vector<std::string>{"started", "paused", "started"}));
    EXPECT_EQ(script().snapshot().flushes, 0) << "nothing queued is dropped by a pause";
}

TEST_F(PlaybackEngineTest, SeekWhilePlayingDropsTheQueueAndPlaysOnFromThere) {
    const SourceRef reference = Tone(10);
    ASSERT_TRUE(engine.Play(Tone(10)));
    ASSERT_TRUE(ringFull());
    const std::int64_t before = script().snapshot().writtenFrames;
    engine.Seek(5 * kRate);
    EXPECT_EQ(log.positions.back(), 5000);
    EXPECT_EQ(script().snapshot().flushes, 1);
    EXPECT_EQ(writtenAfter(before, kBuffer), Expected(reference, 5 * kRate, kBuffer));
}

TEST_F(PlaybackEngineTest, SeekWhilePausedLoopsASnippetUntilResumePlaysFromTheSeekPoint) {
    const SourceRef reference = Tone(10);
    ASSERT_TRUE(engine.Play(Tone(10)));
    ASSERT_TRUE(pumpUntilWritten(kBuffer));
    engine.Pause();
    const std::int64_t before = script().snapshot().writtenFrames;
    engine.Seek(kRate);
    EXPECT_FALSE(engine.IsPaused()) << "the snippet is heard";
    EXPECT_TRUE(engine.IsPlaying());
    EXPECT_FALSE(script().snapshot().paused);
    ASSERT_TRUE(pumpUntilWritten(before + 2 * kBuffer));

    const auto looping = script().snapshot();
    const std::vector<std::int16_t> quarter = Expected(reference, kRate, kBuffer / 4);
    for (int copy = 0; copy < 8; ++copy) {
        const auto at = looping.samples.begin() + before * 2 + copy * (kBuffer / 2);
        EXPECT_TRUE(std::equal(quarter.begin(), quarter.end(), at)) << "copy " << copy;
    }
    EXPECT_EQ(engine.position(), kRate);

    engine.Seek(2 * kRate);
    EXPECT_FALSE(engine.IsPaused()) << "a second seek moves the snippet";
    ASSERT_TRUE(ringFull());
    const std::int64_t resumedAt = script().snapshot().writtenFrames;
    engine.Resume();
    EXPECT_EQ(writtenAfter(resumedAt, kBuffer), Expected(reference, 2 * kRate, kBuffer));
    EXPECT_EQ(script().snapshot().flushes, 3);
}

TEST_F(PlaybackEngineTest, AnOutputThatFailsWhilePlayingStopsWithItsReason) {
    ASSERT_TRUE(engine.Play(Tone(10)));
    ASSERT_TRUE(pumpUntilWritten(kBuffer));
    script().Fail("The sound output \"Speakers\" is no longer available.");
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }));
    EXPECT_EQ(log.events,
              (std::vector<std::string>{
                  "started", "failed: The sound output \"Speakers\" is no longer available.",
                  "stopped"}));
    EXPECT_EQ(engine.errorText(), "The sound output \"Speakers\" is no longer available.");

    // Found by a pause before the producer noticed.
    log.events.clear();
    ASSERT_TRUE(engine.Play(Tone(10)));
    script().Fail("The sound server went away.");
    engine.Pause();
    EXPECT_TRUE(engine.IsStopped());
    ui.pumpFor(50);
    EXPECT_EQ(log.events, (std::vector<std::string>{
                              "started", "failed: The sound server went away.", "stopped"}));
}

TEST_F(PlaybackEngineTest, RefusesUnusableSourcesAndOutputsThatDoNotOpen) {
    SourceRef unusable;
    EXPECT_FALSE(engine.Play(unusable));
    EXPECT_FALSE(script().snapshot().open);
    EXPECT_FALSE(engine.errorText().empty());

    script().FailOpen("The sound server cannot be reached.");
    SourceRef source = Tone(1);
    EXPECT_FALSE(engine.Play(source));
    EXPECT_EQ(engine.errorText(), "The sound server cannot be reached.");
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(source->refCount(), 1u);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(PlaybackEngineTest, LoudSourcesAreLimitedInsteadOfClipped) {
    std::vector<InternalSample> samples(static_cast<std::size_t>(kRate) * 2, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = (i / 2) % 20 < 10 ? 700000 : -700000;
    }
    script().SetAutoPlay(true);
    ASSERT_TRUE(engine.Play(MakeSource<MemorySource>(kRate, 2, std::move(samples), 700000)));
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }));
    const auto heard = script().snapshot();
    ASSERT_EQ(heard.writtenFrames, kRate);
    const auto [low, high] = std::minmax_element(heard.samples.begin(), heard.samples.end());
    EXPECT_GE(*low, -32767);
    EXPECT_LE(*high, 32767);
    EXPECT_GT(*high, 30000);
}

TEST_F(PlaybackEngineTest, StopWhileTheLastBuffersDrainReportsStoppedOnce) {
    ASSERT_TRUE(engine.Play(Tone(0.5)));
    ASSERT_TRUE(pumpUntilWritten(kRate / 2));
    engine.Stop();
    engine.Stop();
    ui.pumpFor(50);
    EXPECT_EQ(log.count("stopped"), 1);
    EXPECT_TRUE(log.positions.empty()) << "nothing was heard";
}

namespace heard {

using test::MonitorRecording;

constexpr int kRate = MonitorRecording::kRate;
constexpr int kBuffer = kRate / 10;
// Quiet longer than this ends a stretch of sound.
constexpr int kGapFrames = kRate / 20;

std::vector<InternalSample> slice(const std::vector<InternalSample>& samples, std::size_t first,
                                  std::size_t frames) {
    return {samples.begin() + static_cast<std::ptrdiff_t>(first),
            samples.begin() + static_cast<std::ptrdiff_t>(first + frames)};
}

// The engine on the private sound server's default output; what it plays is recorded back.
TEST(HeardPlayback, PausedPositionIsWhatWasHeardAndASeekThereLoopsASnippet) {
    test::PulseServer server;
    ASSERT_TRUE(server.running()) << server.error() << server.log();
    PulseWaveOutList outputs;
    test::ManualDispatcher ui;
    PlaybackEngine engine{outputs, ui};
    const auto pumpFor = [&](int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            ui.pumpFor(10);
        }
    };
    // Half a second each of 500, 1000 and 1500 Hz, stereo.
    std::vector<InternalSample> samples;
    for (const double hz : {500.0, 1000.0, 1500.0}) {
        const auto part = test::MakeSine(hz, 0.5, kRate, kRate / 2, 2);
        samples.insert(samples.end(), part.begin(), part.end());
    }

    MonitorRecording monitor(server);
    ASSERT_TRUE(monitor.started());
    ASSERT_TRUE(engine.Play(MakeSource<test::MemorySource>(kRate, 2, std::move(samples))))
        << engine.errorText();
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.position() >= kRate / 4; }));
    engine.Pause();
    const std::int64_t pausedAt = engine.position();
    pumpFor(400);
    EXPECT_EQ(engine.position(), pausedAt);

    engine.Seek(kRate * 3 / 4);
    EXPECT_EQ(engine.position(), kRate * 3 / 4);
    pumpFor(400);
    engine.Resume();
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }, 30000));
    const std::vector<InternalSample> heard = monitor.Finish();

    // Played up to the pause; then the snippet from the middle tone, running straight into the
    // rest of the file from the sought place.
    const auto spans = test::SoundSpans(heard, kGapFrames);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_NEAR(static_cast<double>(spans[0].frames()), static_cast<double>(pausedAt), kBuffer)
        << "the position is what was heard";
    EXPECT_EQ(
        test::DominantFrequency(slice(heard, spans[0].first, kRate / 5), kRate, 400, 1600, 10),
        500);
    EXPECT_EQ(
        test::DominantFrequency(slice(heard, spans[1].first, kRate / 5), kRate, 400, 1600, 10),
        1000)
        << "the snippet comes from the sought place";
    EXPECT_EQ(test::DominantFrequency(slice(heard, spans[1].last - kRate / 5, kRate / 5), kRate,
                                      400, 1600, 10),
              1500);
    // The snippet looped for about 0.4 s, then the last three quarters of a second played.
    EXPECT_NEAR(static_cast<double>(spans[1].frames()), kRate * (0.4 + 0.75), kRate * 0.15);
}

}  // namespace heard
}  // namespace
}  // namespace sonaro
