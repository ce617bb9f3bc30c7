#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/pulse_wave_out_list.h"
#include "recordings/playback_engine.h"
#include "recordings/time_stretch_filter.h"
#include "support/manual_dispatcher.h"
#include "support/memory_source.h"
#include "support/monitor_recording.h"
#include "support/signal.h"

namespace sonaro {
namespace {

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
class HeardPlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.running()) << server.error() << server.log(); }

    bool pumpUntilStopped() {
        return ui.pumpUntil([&] { return engine.IsStopped(); }, 30000);
    }
    void pumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            ui.pumpFor(10);
        }
    }

    test::PulseServer server;
    PulseWaveOutList outputs;
    test::ManualDispatcher ui;
    PlaybackEngine engine{outputs, ui};
};

TEST_F(HeardPlaybackTest, StretchedToneKeepsItsPitchAndScalesItsLength) {
    constexpr int kSourceRate = 22050;
    for (const double speed : {0.5, 1.5}) {
        SCOPED_TRACE(speed);
        MonitorRecording monitor(server);
        ASSERT_TRUE(monitor.started());
        // Three seconds of output: the few milliseconds a stream's edges may lose stay far
        // below the tolerance.
        const int frames = static_cast<int>(3 * kSourceRate * speed);
        SourceRef tone = MakeSource<test::MemorySource>(
            kSourceRate, 1, test::MakeSine(1000, 0.5, kSourceRate, frames));
        ASSERT_TRUE(engine.Play(MakeTimeStretchFilter(tone, speed, false))) << engine.errorText();
        ASSERT_TRUE(pumpUntilStopped());
        const std::vector<InternalSample> heard = monitor.Finish();

        const auto spans = test::SoundSpans(heard, kGapFrames);
        ASSERT_EQ(spans.size(), 1u);
        EXPECT_NEAR(spans[0].frames(), 3 * kRate, 0.02 * 3 * kRate);
        const auto middle = slice(heard, spans[0].first + kRate / 4, kRate / 2);
        EXPECT_NEAR(test::DominantFrequency(middle, kRate, 900, 1100, 1), 1000, 10);
    }
}

// Half a second each of 500, 1000 and 1500 Hz, stereo.
SourceRef threeTones() {
    std::vector<InternalSample> samples;
    for (const double hz : {500.0, 1000.0, 1500.0}) {
        const auto part = test::MakeSine(hz, 0.5, kRate, kRate / 2, 2);
        samples.insert(samples.end(), part.begin(), part.end());
    }
    return MakeSource<test::MemorySource>(kRate, 2, std::move(samples));
}

TEST_F(HeardPlaybackTest, PausedPositionIsWhatWasHeardAndASeekThereLoopsASnippet) {
    MonitorRecording monitor(server);
    ASSERT_TRUE(monitor.started());
    ASSERT_TRUE(engine.Play(threeTones())) << engine.errorText();
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.position() >= kRate / 4; }));
    engine.Pause();
    const std::int64_t pausedAt = engine.position();
    pumpFor(400);
    EXPECT_EQ(engine.position(), pausedAt);

    engine.Seek(kRate * 3 / 4);
    EXPECT_EQ(engine.position(), kRate * 3 / 4);
    pumpFor(400);
    engine.Resume();
    ASSERT_TRUE(pumpUntilStopped());
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

}  // namespace
}  // namespace sonaro
