#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/window_commands.h"
#include "audio/level_set.h"
#include "record/recording_display.h"

namespace sonaro {

// Where a balloon points.
enum class BalloonPlace { Record, Pause, Stop, Play, Recordings, OutputFolder };

// The state of the main window's controls as the session presenter decides it. Applying the
// same look twice changes nothing.
struct SessionLook {
    bool recordLit = false;
    bool pauseLit = false;
    bool stopLit = false;
    bool playLit = false;
    bool goToStartLit = false;
    // Play offers nothing while a recording is open.
    bool playBusy = false;
    // The input and output panels.
    bool panelsEnabled = true;
    bool recordingsToolEnabled = true;
    bool optionsToolEnabled = true;
    // Record, Options and its pages, the setup wizard, the recordings window and the format's
    // settings: only while the session is idle.
    bool idleCommandsEnabled = true;
    TrayEnabling tray;
    // The record icon alternates between 5 and 6; the view ticks the presenter's OnBlink.
    bool blinking = false;

    bool operator==(const SessionLook&) const = default;
};

// The main window as the session presenter drives it. User-interface thread.
class SessionView {
  public:
    virtual ~SessionView() = default;

    // Visible and not minimised: what is not on screen is not drawn.
    virtual bool isOnScreen() const = 0;
    // False without a display: no dialog can be answered.
    virtual bool canAsk() const = 0;

    virtual void render(const SessionLook& look) = 0;
    // The program icon of the window and the tray, and the tray's tip.
    virtual void showIcon(int number, std::string_view trayTip) = 0;
    virtual void showIndicator(int code) = 0;
    virtual void showTime(int ms) = 0;
    virtual void showLevels(const LevelSet& levels) = 0;
    virtual void showFileName(std::string_view name) = 0;
    virtual void showFolder(std::string_view path) = 0;
    virtual void showFormat(std::string_view text) = 0;
    virtual void showStatusText(std::string_view text) = 0;
    // Empty text: nothing known about the output volume.
    virtual void showSpace(std::string_view text, double usedFraction) = 0;
    virtual void showTrayNotice(std::string_view text) = 0;
    virtual void showBalloon(BalloonPlace place, std::string_view title, std::string_view text) = 0;
    virtual void expandOutputPanel() = 0;

    virtual void openRecordings() = 0;
    virtual void runFirstRunSetup() = 0;
    virtual std::optional<std::string> askFileName() = 0;
    virtual void openOptions(int page) = 0;
    virtual void exitProgram() = 0;
    virtual void armTimer(SessionTimer timer, int ms) = 0;
    virtual void killTimer(SessionTimer timer) = 0;
};

}  // namespace sonaro
