#pragma once

#include <string>
#include <string_view>

#include "app/session_view.h"
#include "audio/level_set.h"
#include "record/recording_display.h"

namespace sonaro {

class FileNaming;
class LRecordingSession;

// Turns what the recording session reports into what the main window shows: which transport
// buttons are lit, which commands are offered, the program icon and its blinking, and the clock
// and meter, which are drawn only while the window is on screen and catch up when it shows again.
// The window's own requests (prompts, dialogs, timers) pass through to the view, guarded by the
// session's state.
//
// User-interface thread. The view, session and naming outlive the presenter.
class SessionPresenter final : public RecordingDisplay {
  public:
    static constexpr std::string_view kTitle = "Sonaro Sound Recorder";
    static constexpr std::string_view kVersionText = "Sonaro Sound Recorder v 3.03";
    static constexpr int kIdleIcon = 1;
    static constexpr int kBlinkIcons[2] = {5, 6};
    static constexpr int kPausedIcon = 7;

    explicit SessionPresenter(SessionView& view);

    // Shows the idle state and the session's output folder.
    void SetSession(LRecordingSession* session, FileNaming* naming);
    bool sessionIdle() const;

    const SessionLook& look() const { return m_look; }
    int iconNumber() const { return m_icon; }

    // The blink timer's tick.
    void OnBlink();
    // The window came on screen: draws what changed while it was not.
    void OnShown();
    // Offers the commands the session's current state allows.
    void RefreshControls();

    void ShowRecordingControls() override;
    void ShowWaitingControls() override;
    void ShowIdleControls() override;
    void ShowPausedControls() override;
    void ReportInvalidOutputFolder() override;
    void ShowIndicator(int code) override;
    void ShowTime(int ms) override;
    void ShowFileName(std::string_view name) override;
    void ShowFolder(std::string_view path) override;
    void ShowFormat(std::string_view text) override;
    void ShowStatusText(std::string_view text) override;
    void CheckFreeSpace() override;
    void ShowLevels(const LevelSet& levels) override;
    void ShowLevel(int db) override;
    void SetButtonChecked(SessionButton button, bool checked) override;
    void SetTrayState(int icon, std::string_view tip) override;
    void ShowTrayNotice(std::string_view text) override;
    void ShowButtonTip(SessionButton button, std::string_view text,
                       std::string_view title) override;
    void OpenRecordings() override;
    void RunFirstRunSetup() override;
    bool PromptForFileName(std::string& name) override;
    void OpenOptions(int page) override;
    void ExitProgram() override;
    void ArmTimer(SessionTimer timer, int ms) override;
    void KillTimer(SessionTimer timer) override;

  private:
    enum class Shown { Idle, Waiting, Recording, Paused };

    // Record lit, the other transport buttons dark, Play busy, panels locked.
    void showCapturing();
    void setIcon(int number);
    void render();

    SessionView& m_view;
    LRecordingSession* m_session = nullptr;
    FileNaming* m_naming = nullptr;
    SessionLook m_look;
    Shown m_shown = Shown::Idle;
    int m_icon = kIdleIcon;
    std::string m_trayTip{kTitle};
    bool m_blinkPhase = false;
    bool m_lowSpaceShown = false;
    int m_timeMs = 0;
    LevelSet m_levels;
};

}  // namespace sonaro
