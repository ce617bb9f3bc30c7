// The main window's side of the recording session: the display hooks, the panels' contents and
// the voice-activation marker.

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <cstdio>

#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "record/input_selection.h"
#include "record/recording_session.h"
#include "settings/settings_store.h"
#include "ui/collapsible_panel.h"
#include "ui/main_menu_bar.h"
#include "ui/main_window.h"
#include "ui/naming_dialogs.h"
#include "ui/record_setting_dlg.h"
#include "ui/status_display.h"
#include "ui/transport_buttons.h"
#include "ui/tray_controller.h"

namespace sonaro {
namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MainWindow::setPanelsEnabled(bool enabled) {
    m_inputPanel->content()->setEnabled(enabled);
    m_outputPanel->content()->setEnabled(enabled);
}

void MainWindow::showCapturing() {
    m_transport->setLit(TransportButtons::Button::Record, true);
    for (auto button : {TransportButtons::Button::Pause, TransportButtons::Button::Stop,
                        TransportButtons::Button::GoToStart}) {
        m_transport->setLit(button, false);
    }
    m_transport->setPlayBusy(true);
    setPanelsEnabled(false);
}

void MainWindow::ShowRecordingControls() {
    m_shown = Shown::Recording;
    showCapturing();
    toolbarAction(cmd::kToolbarRecordings)->setEnabled(false);
    toolbarAction(cmd::kToolbarOptions)->setEnabled(false);
    if (!m_blink.isActive()) {
        m_blink.start();
    }
    refreshControls();
}

void MainWindow::ShowWaitingControls() {
    m_shown = Shown::Waiting;
    showCapturing();
    m_blink.stop();
    setIcon(7);
    m_tray->setState(7, m_tray->tip());
    refreshControls();
}

void MainWindow::ShowPausedControls() {
    m_shown = Shown::Paused;
    m_transport->setLit(TransportButtons::Button::Pause, true);
    m_transport->setLit(TransportButtons::Button::Record, false);
    m_transport->setLit(TransportButtons::Button::Stop, false);
    m_transport->setPlayBusy(true);
    m_blink.stop();
    setIcon(7);
    m_tray->setState(7, m_tray->tip());
    refreshControls();
}

void MainWindow::ShowIdleControls() {
    m_shown = Shown::Idle;
    for (auto button : {TransportButtons::Button::Play, TransportButtons::Button::Record,
                        TransportButtons::Button::Pause, TransportButtons::Button::Stop,
                        TransportButtons::Button::GoToStart}) {
        m_transport->setLit(button, false);
    }
    m_transport->setPlayBusy(false);
    setPanelsEnabled(true);
    toolbarAction(cmd::kToolbarRecordings)->setEnabled(true);
    toolbarAction(cmd::kToolbarOptions)->setEnabled(true);
    m_blink.stop();
    setIcon(1);
    m_tray->setState(1, m_tray->tip());
    refreshControls();
}

void MainWindow::showBalloon(QWidget* at, const QString& title, const QString& text) {
    m_lastBalloon = title + QStringLiteral(": ") + text;
    if (at == nullptr || !at->isVisible()) {
        return;
    }
    const QPoint centre = at->mapToGlobal(at->rect().center());
    QToolTip::showText(
        centre, QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped()),
        at);
}

void MainWindow::ReportInvalidOutputFolder() {
    m_outputPanel->setExpanded(true);
    showBalloon(m_folderField, QStringLiteral("Invalid output directory"),
                QStringLiteral("Please specify a valid output directory."));
}

void MainWindow::ShowIndicator(int code) {
    m_display->showIndicator(code);
}

void MainWindow::ShowTime(int ms) {
    m_timeMs = ms;
    if (onScreen()) {
        m_display->showTime(ms);
    }
}

void MainWindow::ShowFileName(std::string_view name) {
    m_display->showFileName(qt(name));
}

void MainWindow::ShowFolder(std::string_view path) {
    m_folderField->setText(qt(path));
    refreshOutputSummary();
}

void MainWindow::ShowFormat(std::string_view text) {
    m_display->showFormat(qt(text));
}

void MainWindow::ShowStatusText(std::string_view text) {
    m_statusText->setText(text.empty() ? QString::fromLatin1(kVersionText) : qt(text));
}

void MainWindow::CheckFreeSpace() {
    if (m_naming == nullptr) {
        return;
    }
    const FreeSpaceReport report = m_naming->CheckFreeSpace();
    if (!report.checked) {
        m_display->showSpace({}, 0.0);
        return;
    }
    m_display->showSpace(qt(report.statusText), report.usedFraction);
    if (report.belowLimit && !m_lowSpaceShown) {
        ShowTrayNotice(kLowSpaceBalloon);
    }
    m_lowSpaceShown = report.belowLimit;
}

void MainWindow::ShowLevels(const LevelSet& levels) {
    m_levels = levels;
    if (onScreen()) {
        m_meter->SetLevels(&levels);
    }
}

void MainWindow::ShowLevel(int db) {
    LevelSet set;
    set.count = 2;
    set.levels.fill(static_cast<std::int8_t>(std::clamp(db, -127, 127)));
    ShowLevels(set);
}

void MainWindow::SetButtonChecked(SessionButton button, bool checked) {
    switch (button) {
        case SessionButton::Record:
            return m_transport->setLit(TransportButtons::Button::Record, checked);
        case SessionButton::Pause:
            return m_transport->setLit(TransportButtons::Button::Pause, checked);
        case SessionButton::Stop:
            return m_transport->setLit(TransportButtons::Button::Stop, checked);
        case SessionButton::Play:
            return m_transport->setLit(TransportButtons::Button::Play, checked);
        case SessionButton::Recordings:
            return;
    }
}

void MainWindow::SetTrayState(int icon, std::string_view tip) {
    setIcon(icon);
    m_tray->setState(icon, qt(tip));
}

void MainWindow::ShowTrayNotice(std::string_view text) {
    m_tray->showNotice(qt(text));
}

void MainWindow::ShowButtonTip(SessionButton button, std::string_view text,
                               std::string_view title) {
    QWidget* at = nullptr;
    switch (button) {
        case SessionButton::Recordings:
            at = m_toolbar->widgetForAction(toolbarAction(cmd::kToolbarRecordings));
            break;
        case SessionButton::Record:
            at = m_transport->button(TransportButtons::Button::Record);
            break;
        case SessionButton::Pause:
            at = m_transport->button(TransportButtons::Button::Pause);
            break;
        case SessionButton::Stop:
            at = m_transport->button(TransportButtons::Button::Stop);
            break;
        case SessionButton::Play:
            at = m_transport->button(TransportButtons::Button::Play);
            break;
    }
    showBalloon(at, qt(title), qt(text));
}

void MainWindow::OpenRecordings() {
    if (!sessionIdle()) {
        return;
    }
    if (m_services.openRecordings) {
        m_services.openRecordings();
        return;
    }
    if (m_naming != nullptr) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(qt(m_naming->GetOutputFolder())));
    }
}

void MainWindow::RunFirstRunSetup() {
    if (QtPrompter::IsHeadless() || m_services.devices == nullptr ||
        m_services.dispatcher == nullptr) {
        return;
    }
    LRecordSettingDlg dialog(m_settings, *m_services.devices, *m_services.dispatcher, m_prompter,
                             this);
    dialog.exec();
    fillInputPanel();
}

// Without a display no one can answer: the prompt counts as cancelled.
bool MainWindow::PromptForFileName(std::string& name) {
    if (QtPrompter::IsHeadless()) {
        std::fprintf(stderr, "Enter File Name: no display to ask for a name; cancelled\n");
        return false;
    }
    const std::optional<std::string> answer = sonaro::PromptForFileName(this);
    if (answer) {
        name = *answer;
    }
    return answer.has_value();
}

void MainWindow::OpenOptions(int page) {
    if (!sessionIdle()) {
        return;
    }
    unregisterHotKeys();
    if (m_services.openOptions) {
        m_services.openOptions(page);
    }
    refreshPanels();
    if (m_services.formats != nullptr) {
        ShowFormat(m_services.formats->FormatLabel());
    }
    ArmTimer(SessionTimer::FreeSpace, LRecordingSession::kFreeSpaceFirstMs);
    applyViewSettings();
    relayout();
    registerHotKeys();
}

void MainWindow::ExitProgram() {
    Exit();
}

void MainWindow::ArmTimer(SessionTimer timer, int ms) {
    // Without a display the first-run dialog cannot be answered: it is not shown, and so not
    // marked as shown either.
    if (timer == SessionTimer::FirstRun && QtPrompter::IsHeadless()) {
        return;
    }
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->start(ms);
    }
}

void MainWindow::KillTimer(SessionTimer timer) {
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->stop();
    }
}

void MainWindow::OnMarkerMoved(std::int8_t level) {
    m_settings.Write(setting::kVoiceActivateLevel, level);
}

void MainWindow::OnMarkerToggled(bool shown) {
    m_settings.Write(setting::kVoiceActivate, shown);
    relayout();
}

QString MainWindow::indicatorText() const {
    return m_display->indicatorText();
}

QString MainWindow::timeText() const {
    return m_display->timeText();
}

QString MainWindow::fileNameText() const {
    return m_display->fileNameText();
}

QString MainWindow::formatText() const {
    return m_display->formatText();
}

QString MainWindow::folderText() const {
    return m_folderField->text();
}

}  // namespace sonaro
