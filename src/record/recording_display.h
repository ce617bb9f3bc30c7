#pragma once

#include <string>
#include <string_view>

#include "audio/level_set.h"

namespace sonaro {

// Buttons the session refers to.
enum class SessionButton { Record, Pause, Stop, Play, Recordings };

// Timers the main window runs for the session; each is one-shot and passed back to
// LRecordingSession::OnTimer on expiry. Timer 4 ("-ms") is the command line's: Application.
enum class SessionTimer : int { IntervalTone = 5, FreeSpace = 6, FirstRun = 7 };

// What the recording session shows and asks through the main window. Every hook is called on the
// user-interface thread; the defaults do nothing (and supply or ask for no name), so a session
// without a window and a test that watches only a few hooks both work.
class RecordingDisplay {
  public:
    virtual ~RecordingDisplay() = default;

    virtual void ShowRecordingControls() {}
    virtual void ShowWaitingControls() {}
    virtual void ShowIdleControls() {}
    virtual void ShowPausedControls() {}
    virtual void ReportInvalidOutputFolder() {}
    // 0 "Ready", 1 "Recording...", 2 "Waiting for voice input...", other codes no text.
    virtual void ShowIndicator(int code) { (void)code; }
    virtual void ShowTime(int ms) { (void)ms; }
    virtual void ShowFileName(std::string_view name) { (void)name; }
    virtual void ShowFolder(std::string_view path) { (void)path; }
    virtual void ShowFormat(std::string_view text) { (void)text; }
    // A notice in the status line; empty gives the line back its usual text.
    virtual void ShowStatusText(std::string_view text) { (void)text; }
    virtual void CheckFreeSpace() {}
    virtual void ShowLevels(const LevelSet& levels) { (void)levels; }
    virtual void ShowLevel(int db) { (void)db; }
    virtual void SetButtonChecked(SessionButton button, bool checked) {
        (void)button;
        (void)checked;
    }
    virtual void SetTrayState(int icon, std::string_view tip) {
        (void)icon;
        (void)tip;
    }
    virtual void ShowTrayNotice(std::string_view text) { (void)text; }
    virtual void ShowButtonTip(SessionButton button, std::string_view text,
                               std::string_view title) {
        (void)button;
        (void)text;
        (void)title;
    }
    virtual void OpenRecordings() {}
    virtual void RunFirstRunSetup() {}
    // A name chosen elsewhere for the next recording; false when there is none.
    virtual bool SupplyFileName(std::string& name) {
        (void)name;
        return false;
    }
    // The "Enter File Name" prompt; false when cancelled (or no one can answer).
    virtual bool PromptForFileName(std::string& name) {
        (void)name;
        return false;
    }
    virtual void OpenOptions(int page) { (void)page; }
    // The Exit command: the window closes and the program ends.
    virtual void ExitProgram() {}

    virtual void ArmTimer(SessionTimer timer, int ms) {
        (void)timer;
        (void)ms;
    }
    virtual void KillTimer(SessionTimer timer) { (void)timer; }
};

}  // namespace sonaro
