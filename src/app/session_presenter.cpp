#include "app/session_presenter.h"

#include <algorithm>
#include <cstdio>

#include "record/file_naming.h"
#include "record/recording_session.h"

namespace sonaro {
namespace {

BalloonPlace placeOf(SessionButton button) {
    switch (button) {
        case SessionButton::Record:
            return BalloonPlace::Record;
        case SessionButton::Pause:
            return BalloonPlace::Pause;
        case SessionButton::Stop:
            return BalloonPlace::Stop;
        case SessionButton::Play:
            return BalloonPlace::Play;
        case SessionButton::Recordings:
            return BalloonPlace::Recordings;
    }
    return BalloonPlace::Record;
}

}  // namespace

SessionPresenter::SessionPresenter(SessionView& view) : m_view(view) {}

void SessionPresenter::SetSession(LRecordingSession* session, FileNaming* naming) {
    m_session = session;
    m_naming = naming;
    if (naming != nullptr) {
        ShowFolder(naming->GetOutputFolder());
    }
    ShowIdleControls();
}

bool SessionPresenter::sessionIdle() const {
    return m_session == nullptr || m_session->IsIdle();
}

void SessionPresenter::render() {
    m_view.render(m_look);
}

void SessionPresenter::setIcon(int number) {
    m_icon = number;
    m_view.showIcon(number, m_trayTip);
}

void SessionPresenter::showCapturing() {
    m_look.recordLit = true;
    m_look.pauseLit = false;
    m_look.stopLit = false;
    m_look.goToStartLit = false;
    m_look.playBusy = true;
    m_look.panelsEnabled = false;
}

void SessionPresenter::ShowRecordingControls() {
    m_shown = Shown::Recording;
    showCapturing();
    m_look.recordingsToolEnabled = false;
    m_look.optionsToolEnabled = false;
    m_look.blinking = true;
    RefreshControls();
}

void SessionPresenter::ShowWaitingControls() {
    m_shown = Shown::Waiting;
    showCapturing();
    m_look.blinking = false;
    setIcon(kPausedIcon);
    RefreshControls();
}

void SessionPresenter::ShowPausedControls() {
    m_shown = Shown::Paused;
    m_look.pauseLit = true;
    m_look.recordLit = false;
    m_look.stopLit = false;
    m_look.playBusy = true;
    m_look.blinking = false;
    setIcon(kPausedIcon);
    RefreshControls();
}

void SessionPresenter::ShowIdleControls() {
    m_shown = Shown::Idle;
    m_look.recordLit = m_look.pauseLit = m_look.stopLit = m_look.playLit = false;
    m_look.goToStartLit = false;
    m_look.playBusy = false;
    m_look.panelsEnabled = true;
    m_look.recordingsToolEnabled = true;
    m_look.optionsToolEnabled = true;
    m_look.blinking = false;
    setIcon(kIdleIcon);
    RefreshControls();
}

void SessionPresenter::RefreshControls() {
    const bool idle = sessionIdle();
    m_look.idleCommandsEnabled = idle;
    m_look.optionsToolEnabled = idle && m_shown != Shown::Recording;
    RecorderStatus status;
    status.captureRunning = m_session != nullptr && m_session->captureRunning();
    status.captureRecording = status.captureRunning && m_shown == Shown::Recording;
    status.sessionPaused = m_session != nullptr && m_session->isPaused();
    status.playerPlaying = m_session != nullptr && m_session->playerPlaying();
    status.playerPaused = m_session != nullptr && m_session->playerPaused();
    m_look.tray = TrayItemsEnabled(status);
    render();
}

void SessionPresenter::OnBlink() {
    m_blinkPhase = !m_blinkPhase;
    setIcon(kBlinkIcons[m_blinkPhase ? 1 : 0]);
}

void SessionPresenter::OnShown() {
    m_view.showIcon(m_icon, m_trayTip);
    if (m_view.isOnScreen()) {
        m_view.showTime(m_timeMs);
        m_view.showLevels(m_levels);
    }
}

void SessionPresenter::ReportInvalidOutputFolder() {
    m_view.expandOutputPanel();
    m_view.showBalloon(BalloonPlace::OutputFolder, "Invalid output directory",
                       "Please specify a valid output directory.");
}

void SessionPresenter::ShowIndicator(int code) {
    m_view.showIndicator(code);
}

void SessionPresenter::ShowTime(int ms) {
    m_timeMs = ms;
    if (m_view.isOnScreen()) {
        m_view.showTime(ms);
    }
}

void SessionPresenter::ShowFileName(std::string_view name) {
    m_view.showFileName(name);
}

void SessionPresenter::ShowFolder(std::string_view path) {
    m_view.showFolder(path);
}

void SessionPresenter::ShowFormat(std::string_view text) {
    m_view.showFormat(text);
}

void SessionPresenter::ShowStatusText(std::string_view text) {
    m_view.showStatusText(text.empty() ? kVersionText : text);
}

// The low-space notice shows once each time the space falls below the limit.
void SessionPresenter::CheckFreeSpace() {
    if (m_naming == nullptr) {
        return;
    }
    const FreeSpaceReport report = m_naming->CheckFreeSpace();
    if (!report.checked) {
        m_view.showSpace({}, 0.0);
        return;
    }
    m_view.showSpace(report.statusText, report.usedFraction);
    if (report.belowLimit && !m_lowSpaceShown) {
        m_view.showTrayNotice(kLowSpaceBalloon);
    }
    m_lowSpaceShown = report.belowLimit;
}

void SessionPresenter::ShowLevels(const LevelSet& levels) {
    m_levels = levels;
    if (m_view.isOnScreen()) {
        m_view.showLevels(levels);
    }
}

void SessionPresenter::ShowLevel(int db) {
    LevelSet set;
    set.count = 2;
    set.levels.fill(static_cast<std::int8_t>(std::clamp(db, -127, 127)));
    ShowLevels(set);
}

void SessionPresenter::SetButtonChecked(SessionButton button, bool checked) {
    switch (button) {
        case SessionButton::Record:
            m_look.recordLit = checked;
            break;
        case SessionButton::Pause:
            m_look.pauseLit = checked;
            break;
        case SessionButton::Stop:
            m_look.stopLit = checked;
            break;
        case SessionButton::Play:
            m_look.playLit = checked;
            break;
        case SessionButton::Recordings:
            return;
    }
    // The player's state changes the tray's items as well.
    RefreshControls();
}

void SessionPresenter::SetTrayState(int icon, std::string_view tip) {
    m_trayTip = tip;
    setIcon(icon);
}

void SessionPresenter::ShowTrayNotice(std::string_view text) {
    m_view.showTrayNotice(text);
}

void SessionPresenter::ShowButtonTip(SessionButton button, std::string_view text,
                                     std::string_view title) {
    m_view.showBalloon(placeOf(button), title, text);
}

void SessionPresenter::OpenRecordings() {
    if (sessionIdle()) {
        m_view.openRecordings();
    }
}

void SessionPresenter::RunFirstRunSetup() {
    if (m_view.canAsk()) {
        m_view.runFirstRunSetup();
    }
}

// Without a display no one can answer: the prompt counts as cancelled.
bool SessionPresenter::PromptForFileName(std::string& name) {
    if (!m_view.canAsk()) {
        std::fprintf(stderr, "Enter File Name: no display to ask for a name; cancelled\n");
        return false;
    }
    std::optional<std::string> answer = m_view.askFileName();
    if (answer) {
        name = std::move(*answer);
    }
    return answer.has_value();
}

void SessionPresenter::OpenOptions(int page) {
    if (sessionIdle()) {
        m_view.openOptions(page);
        ArmTimer(SessionTimer::FreeSpace, LRecordingSession::kFreeSpaceFirstMs);
    }
}

void SessionPresenter::ExitProgram() {
    m_view.exitProgram();
}

void SessionPresenter::ArmTimer(SessionTimer timer, int ms) {
    // Without a display the first-run dialog cannot be answered: it is not shown, and so not
    // marked as shown either.
    if (timer == SessionTimer::FirstRun && !m_view.canAsk()) {
        return;
    }
    m_view.armTimer(timer, ms);
}

void SessionPresenter::KillTimer(SessionTimer timer) {
    m_view.killTimer(timer);
}

}  // namespace sonaro
