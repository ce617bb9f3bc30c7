#include "app/session_playback.h"

#include <gtest/gtest.h>

#include <map>

#include "support/manual_dispatcher.h"
#include "support/pulse_server.h"
#include "support/scripted_wave_out.h"
#include "support/session_rig.h"

namespace sonaro {
namespace {

class LitButtons final : public RecordingDisplay {
  public:
    void SetButtonChecked(SessionButton button, bool checked) override { lit[button] = checked; }
    void ShowTime(int ms) override { recordedMs = ms; }
    std::map<SessionButton, bool> lit;
    int recordedMs = 0;
};

// A completed recording of the session, played through the session's Play, Pause and Stop.
class SessionPlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.session.SetDisplay(&display);
        rig.session.SetPlayer(&playback);
        rig.settings.Write(setting::kInstallWizRun, true);
        rig.session.Attach();
        ASSERT_TRUE(rig.session.Record(LRecordingSession::kDefaultMaxMs));
        ASSERT_TRUE(ui.pumpUntil([&] { return display.recordedMs > 0; }));
        rig.session.Done();
        for (int i = 0; i < 16000; ++i) {
            samples.push_back(static_cast<std::int16_t>(i % 100 * 100 - 5000));
        }
        ASSERT_TRUE(test::WriteWavFile(rig.session.currentPath(), samples, 8000, 1));
        display.lit.clear();
    }
    void TearDown() override {
        rig.session.SetPlayer(nullptr);
        rig.session.SetDisplay(nullptr);
    }
    test::WaveOutScript& output() { return outputs.script(); }
    bool lit(SessionButton button) { return display.lit[button]; }

    test::ManualDispatcher ui;
    test::SessionRig rig{ui, {test::SessionRig::Microphone(0.5)}};
    test::ScriptedWaveOutList outputs{{"Speakers", "Headphones"}};
    PlaybackEngine engine{outputs, ui};
    SessionPlayback playback{engine, rig.prompter, [this] { rig.session.OnPlaybackChanged(); }};
    LitButtons display;
    std::vector<std::int16_t> samples;
};

TEST_F(SessionPlaybackTest, PlaysTheLastRecordingOnTheChosenOutputAndShowsItOnTheButtons) {
    rig.settings.WriteSettingString("Settings", "PlaybackDevice", "Headphones");
    rig.session.Play();
    EXPECT_TRUE(lit(SessionButton::Play));
    EXPECT_EQ(output().snapshot().deviceName, "Headphones");

    rig.session.Pause();
    EXPECT_FALSE(lit(SessionButton::Play));
    EXPECT_TRUE(lit(SessionButton::Pause));
    EXPECT_FALSE(rig.session.Record(LRecordingSession::kDefaultMaxMs))
        << "no recording while the player holds the output";

    rig.session.Play();
    EXPECT_TRUE(lit(SessionButton::Play));
    EXPECT_FALSE(lit(SessionButton::Pause));
    output().SetAutoPlay(true);
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }));
    EXPECT_FALSE(lit(SessionButton::Play));
    EXPECT_EQ(output().snapshot().samples, samples);
    EXPECT_TRUE(rig.prompter.shown().empty());
}

TEST_F(SessionPlaybackTest, StopAndRestartReachThePlayer) {
    rig.session.Play();
    rig.session.Restart();
    EXPECT_TRUE(engine.IsPlaying());
    EXPECT_FALSE(engine.IsPaused());
    EXPECT_EQ(engine.position(), 0);
    rig.session.Stop();
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_FALSE(lit(SessionButton::Play));
}

TEST_F(SessionPlaybackTest, SaysWhyTheOutputCouldNotPlay) {
    output().FailOpen("The sound server cannot be reached: Connection refused");
    rig.session.Play();
    ASSERT_EQ(rig.prompter.shown().size(), 1u);
    EXPECT_EQ(rig.prompter.shown()[0].text,
              "Could not play file.\r\n\r\nThe sound server cannot be reached: Connection refused");
    EXPECT_EQ(rig.prompter.shown()[0].title, "Playback Error");

    output().FailOpen("");
    rig.session.Play();
    output().Fail("The sound output \"Speakers\" is no longer available.");
    ASSERT_TRUE(ui.pumpUntil([&] { return engine.IsStopped(); }));
    ASSERT_EQ(rig.prompter.shown().size(), 2u);
    EXPECT_EQ(rig.prompter.shown()[1].text,
              "Playback stopped.\r\n\r\nThe sound output \"Speakers\" is no longer available.");
    EXPECT_FALSE(lit(SessionButton::Play));

    std::filesystem::remove(rig.session.currentPath());
    rig.session.Play();
    ASSERT_EQ(rig.prompter.shown().size(), 3u);
    EXPECT_EQ(rig.prompter.shown()[2].text, "Could not play file.");
}

}  // namespace
}  // namespace sonaro
