// The main window as the session presenter's view: drawing what the presenter decides, and the
// dialogs and timers it asks for.

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "settings/settings_store.h"
#include "ui/collapsible_panel.h"
#include "ui/main_menu_bar.h"
#include "ui/main_window.h"
#include "ui/naming_dialogs.h"
#include "ui/program_icons.h"
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

bool MainWindow::isOnScreen() const {
    return isVisible() && !isMinimized();
}

bool MainWindow::canAsk() const {
    return !QtPrompter::IsHeadless();
}

void MainWindow::render(const SessionLook& look) {
    using Button = TransportButtons::Button;
    m_transport->setLit(Button::Record, look.recordLit);
    m_transport->setLit(Button::Pause, look.pauseLit);
    m_transport->setLit(Button::Stop, look.stopLit);
    m_transport->setLit(Button::Play, look.playLit);
    m_transport->setLit(Button::GoToStart, look.goToStartLit);
    m_transport->setPlayBusy(look.playBusy);
    m_inputPanel->content()->setEnabled(look.panelsEnabled);
    m_outputPanel->content()->setEnabled(look.panelsEnabled);
    toolbarAction(cmd::kToolbarRecordings)->setEnabled(look.recordingsToolEnabled);
    toolbarAction(cmd::kToolbarOptions)->setEnabled(look.optionsToolEnabled);
    for (int id : {cmd::kRecord, cmd::kOptions, cmd::kSetupWizard, cmd::kRecordingsWindow,
                   cmd::kOptionsRecord, cmd::kOptionsOutput, cmd::kOptionsTransmit,
                   cmd::kOptionsGeneral, cmd::kOptionsKeys}) {
        m_menu->setItemEnabled(id, look.idleCommandsEnabled);
    }
    m_formatSettings->setEnabled(look.idleCommandsEnabled);
    m_tray->setEnabling(look.tray);
    if (!look.blinking) {
        m_blink.stop();
    } else if (!m_blink.isActive()) {
        m_blink.start();
    }
}

// A hidden window keeps its icon number; it is drawn when the window shows again.
void MainWindow::showIcon(int number, std::string_view trayTip) {
    if (isVisible()) {
        setWindowIcon(WindowIconForResource(number));
    }
    m_tray->setState(number, qt(trayTip));
}

void MainWindow::showIndicator(int code) {
    m_display->showIndicator(code);
}

void MainWindow::showTime(int ms) {
    m_display->showTime(ms);
}

void MainWindow::showLevels(const LevelSet& levels) {
    m_meter->SetLevels(&levels);
}

void MainWindow::showFileName(std::string_view name) {
    m_display->showFileName(qt(name));
}

void MainWindow::showFolder(std::string_view path) {
    m_folderField->setText(qt(path));
    refreshOutputSummary();
}

void MainWindow::showFormat(std::string_view text) {
    m_display->showFormat(qt(text));
}

void MainWindow::showStatusText(std::string_view text) {
    m_statusText->setText(qt(text));
}

void MainWindow::showSpace(std::string_view text, double usedFraction) {
    m_display->showSpace(qt(text), usedFraction);
}

void MainWindow::showTrayNotice(std::string_view text) {
    m_tray->showNotice(qt(text));
}

QWidget* MainWindow::balloonWidget(BalloonPlace place) const {
    using Button = TransportButtons::Button;
    switch (place) {
        case BalloonPlace::Recordings:
            return m_toolbar->widgetForAction(toolbarAction(cmd::kToolbarRecordings));
        case BalloonPlace::Record:
            return m_transport->button(Button::Record);
        case BalloonPlace::Pause:
            return m_transport->button(Button::Pause);
        case BalloonPlace::Stop:
            return m_transport->button(Button::Stop);
        case BalloonPlace::Play:
            return m_transport->button(Button::Play);
        case BalloonPlace::OutputFolder:
            return m_folderField;
    }
    return nullptr;
}

void MainWindow::showBalloon(BalloonPlace place, std::string_view title, std::string_view text) {
    QWidget* at = balloonWidget(place);
    if (at == nullptr || !at->isVisible()) {
        return;
    }
    QToolTip::showText(
        at->mapToGlobal(at->rect().center()),
        QStringLiteral("<b>%1</b><br>%2").arg(qt(title).toHtmlEscaped(), qt(text).toHtmlEscaped()),
        at);
}

void MainWindow::expandOutputPanel() {
    m_outputPanel->setExpanded(true);
}

void MainWindow::openRecordings() {
    if (m_services.openRecordings) {
        m_services.openRecordings();
    } else if (m_naming != nullptr) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(qt(m_naming->GetOutputFolder())));
    }
}

void MainWindow::runFirstRunSetup() {
    if (m_services.devices == nullptr || m_services.dispatcher == nullptr) {
        return;
    }
    LRecordSettingDlg dialog(m_settings, *m_services.devices, *m_services.dispatcher, m_prompter,
                             this);
    dialog.exec();
    fillInputPanel();
}

std::optional<std::string> MainWindow::askFileName() {
    return PromptForFileName(this);
}

void MainWindow::openOptions(int page) {
    unregisterHotKeys();
    if (m_services.openOptions) {
        m_services.openOptions(page);
    }
    refreshPanels();
    showChosenFormat();
    applyViewSettings();
    relayout();
    registerHotKeys();
}

void MainWindow::exitProgram() {
    Exit();
}

void MainWindow::armTimer(SessionTimer timer, int ms) {
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->start(ms);
    }
}

void MainWindow::killTimer(SessionTimer timer) {
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->stop();
    }
}

void MainWindow::showChosenFormat() {
    if (m_services.formats != nullptr) {
        showFormat(m_services.formats->FormatLabel());
    }
}

void MainWindow::OnMarkerMoved(std::int8_t level) {
    m_settings.Write(setting::kVoiceActivateLevel, level);
}

void MainWindow::OnMarkerToggled(bool shown) {
    m_settings.Write(setting::kVoiceActivate, shown);
    relayout();
}

}  // namespace sonaro
