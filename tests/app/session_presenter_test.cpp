#include "app/session_presenter.h"

#include <gtest/gtest.h>

#include <map>

#include "app/session_playback.h"
#include "app/window_commands.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/pulse_server.h"
#include "support/scripted_wave_out.h"
#include "support/session_rig.h"

namespace sonaro {
namespace {

// Keeps what the presenter last drew and asked for.
class WatchingView final : public SessionView {
  public:
    bool isOnScreen() const override { return onScreen; }
    bool canAsk() const override { return display; }
    void render(const SessionLook& shown) override { look = shown; }
    void showIcon(int number, std::string_view trayTip) override {
        icon = number;
        tip = trayTip;
    }
    void showIndicator(int code) override { indicator = code; }
    void showTime(int ms) override { drawnMs = ms; }
    void showLevels(const LevelSet& levels) override { drawnLevel = levels.levels[0]; }
    void showFileName(std::string_view) override {}
    void showFolder(std::string_view path) override { folder = path; }
    void showFormat(std::string_view) override {}
    void showStatusText(std::string_view text) override { status = text; }
    void showSpace(std::string_view, double) override {}
    void showTrayNotice(std::string_view) override {}
    void showBalloon(BalloonPlace place, std::string_view title, std::string_view text) override {
        balloons.push_back({place, std::string(title) + ": " + std::string(text)});
    }
    void expandOutputPanel() override { requests.push_back("expand output"); }
    void openRecordings() override { requests.push_back("recordings"); }
    void runFirstRunSetup() override { requests.push_back("first run"); }
    std::optional<std::string> askFileName() override { return "Asked"; }
    void openOptions(int page) override { requests.push_back("options " + std::to_string(page)); }
    void exitProgram() override { requests.push_back("exit"); }
    void armTimer(SessionTimer timer, int ms) override { armed[timer] = ms; }
    void killTimer(SessionTimer timer) override { armed.erase(timer); }

    bool onScreen = true;
    bool display = true;
    SessionLook look;
    int icon = 0;
    std::string tip;
    int indicator = -1;
    int drawnMs = -1;
    int drawnLevel = 0;
    std::string folder;
    std::string status;
    std::vector<std::pair<BalloonPlace, std::string>> balloons;
    std::vector<std::string> requests;
    std::map<SessionTimer, int> armed;
};

class SessionPresenterTest : public testing::Test {
  protected:
    explicit SessionPresenterTest(double amplitude = 0.5)
        : m_rig(m_dispatcher, {test::SessionRig::Microphone(amplitude)}) {
        m_rig.settings.Write(setting::kInstallWizRun, true);
    }

    void attach() {
        m_presenter.SetSession(&m_rig.session, &m_rig.naming);
        m_rig.session.SetDisplay(&m_presenter);
        m_rig.session.Attach();
    }

    static void expectTray(const SessionLook& look, TrayEnabling expected) {
        EXPECT_EQ(look.tray, expected)
            << "play " << look.tray.play << " record " << look.tray.record << " pause "
            << look.tray.pause << " stop " << look.tray.stop;
    }

    test::ManualDispatcher m_dispatcher;
    test::SessionRig m_rig;
    WatchingView m_view;
    SessionPresenter m_presenter{m_view};
};

TEST_F(SessionPresenterTest, ControlsFollowRecordPauseAndStop) {
    attach();
    EXPECT_EQ(m_view.folder, m_rig.recordings);
    EXPECT_EQ(m_view.icon, SessionPresenter::kIdleIcon);
    EXPECT_TRUE(m_view.look.idleCommandsEnabled);

    ASSERT_TRUE(m_rig.session.Record(LRecordingSession::kDefaultMaxMs));
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_view.indicator == 1; }));
    const SessionLook recording = m_view.look;
    EXPECT_TRUE(recording.recordLit && recording.playBusy && recording.blinking);
    EXPECT_FALSE(recording.pauseLit || recording.stopLit || recording.panelsEnabled);
    EXPECT_FALSE(recording.recordingsToolEnabled || recording.optionsToolEnabled);
    EXPECT_FALSE(recording.idleCommandsEnabled);
    expectTray(recording, {false, false, true, true, true});
    m_presenter.OnBlink();
    EXPECT_EQ(m_view.icon, 6);
    m_presenter.OnBlink();
    EXPECT_EQ(m_view.icon, 5);

    m_rig.session.Pause();
    EXPECT_EQ(m_view.icon, SessionPresenter::kPausedIcon);
    EXPECT_TRUE(m_view.look.pauseLit && m_view.look.playBusy);
    EXPECT_FALSE(m_view.look.recordLit || m_view.look.blinking);
    EXPECT_FALSE(m_view.look.idleCommandsEnabled);  // paused is not idle
    expectTray(m_view.look, {true, true, false, true, true});

    m_rig.session.Stop();
    EXPECT_EQ(m_view.icon, SessionPresenter::kIdleIcon);
    SessionLook idle;
    idle.tray = {true, true, false, false, false};
    EXPECT_EQ(m_view.look, idle);
    EXPECT_EQ(m_rig.opened.size(), 1u);
}

class WaitingPresenterTest : public SessionPresenterTest {
  protected:
    WaitingPresenterTest() : SessionPresenterTest(0.0) {}
};

// Waiting counts as running but not recording: Record stays offered in the tray.
TEST_F(WaitingPresenterTest, WaitingForVoiceShowsThePausedIcon) {
    m_rig.settings.Write(setting::kVoiceActivate, true);
    attach();
    ASSERT_TRUE(m_rig.session.Record(LRecordingSession::kDefaultMaxMs));
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_view.indicator == 2; }));
    EXPECT_EQ(m_view.icon, SessionPresenter::kPausedIcon);
    EXPECT_TRUE(m_view.look.recordLit);
    EXPECT_FALSE(m_view.look.blinking || m_view.look.panelsEnabled);
    expectTray(m_view.look, {false, true, true, true, true});
    m_rig.session.Stop();
    EXPECT_EQ(m_view.indicator, 0);
}

TEST_F(SessionPresenterTest, MissingFolderIsReportedAtTheFolderField) {
    m_rig.settings.WriteSettingString("FindPlay", "DefaultRecordFolder",
                                      m_rig.home.path() + "/gone");
    attach();
    EXPECT_FALSE(m_rig.session.Record(LRecordingSession::kDefaultMaxMs));
    EXPECT_EQ(m_view.requests, std::vector<std::string>{"expand output"});
    ASSERT_EQ(m_view.balloons.size(), 1u);
    EXPECT_EQ(m_view.balloons[0].first, BalloonPlace::OutputFolder);
    EXPECT_EQ(m_view.balloons[0].second,
              "Invalid output directory: Please specify a valid output directory.");
    EXPECT_TRUE(m_rig.opened.empty());
}

// Off screen the clock and meter draw nothing; they catch up with the newest values.
TEST_F(SessionPresenterTest, OffScreenDrawsNothingAndCatchesUp) {
    m_presenter.ShowTime(1000);
    m_view.onScreen = false;
    m_presenter.ShowTime(65000);
    m_presenter.ShowLevel(-6);
    m_presenter.SetTrayState(3, "Sonaro");
    EXPECT_EQ(m_view.drawnMs, 1000);
    EXPECT_EQ(m_view.drawnLevel, 0);
    EXPECT_EQ(m_view.tip, "Sonaro");  // the tray shows while the window does not

    m_view.onScreen = true;
    m_view.icon = 0;
    m_presenter.OnShown();
    EXPECT_EQ(m_view.drawnMs, 65000);
    EXPECT_EQ(m_view.drawnLevel, -6);
    EXPECT_EQ(m_view.icon, 3);
}

TEST_F(SessionPresenterTest, WindowRequestsWaitForAnIdleSessionAndADisplay) {
    attach();
    ASSERT_TRUE(m_rig.session.Record(LRecordingSession::kDefaultMaxMs));
    m_presenter.OpenOptions(2);
    m_presenter.OpenRecordings();
    EXPECT_TRUE(m_view.requests.empty());
    m_rig.session.Stop();
    m_view.armed.clear();
    m_presenter.OpenOptions(2);
    m_presenter.OpenRecordings();
    EXPECT_EQ(m_view.requests, (std::vector<std::string>{"options 2", "recordings"}));
    EXPECT_EQ(m_view.armed[SessionTimer::FreeSpace], LRecordingSession::kFreeSpaceFirstMs);

    std::string name;
    EXPECT_TRUE(m_presenter.PromptForFileName(name));
    EXPECT_EQ(name, "Asked");
    m_view.display = false;
    m_view.requests.clear();
    name.clear();
    EXPECT_FALSE(m_presenter.PromptForFileName(name));
    EXPECT_TRUE(name.empty());
    m_presenter.RunFirstRunSetup();
    m_presenter.ArmTimer(SessionTimer::FirstRun, 500);
    EXPECT_TRUE(m_view.requests.empty());
    EXPECT_FALSE(m_view.armed.contains(SessionTimer::FirstRun));

    m_presenter.ShowStatusText("Recording lost 20 ms of sound");
    EXPECT_EQ(m_view.status, "Recording lost 20 ms of sound");
    m_presenter.ShowStatusText("");
    EXPECT_EQ(m_view.status, SessionPresenter::kVersionText);
}

// The recorder's states are checked through the presenter above.
TEST(WindowCommands, TrayEnablingFollowsThePlayer) {
    EXPECT_EQ(TrayItemsEnabled({false, false, false, true, false}),
              (TrayEnabling{true, false, true, true, true}));
    EXPECT_EQ(TrayItemsEnabled({false, false, false, true, true}),
              (TrayEnabling{true, false, false, true, true}));
}

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
    const std::vector<std::int16_t> samples = test::SineFrames(16000, 1, 8000, 440, 8000);
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
