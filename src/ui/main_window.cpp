#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "record/input_selection.h"
#include "record/recording_session.h"
#include "settings/settings_store.h"
#include "support/activity_record.h"
#include "ui/collapsible_panel.h"
#include "ui/dialog_units.h"
#include "ui/main_menu_bar.h"
#include "ui/program_icons.h"
#include "ui/qt_key_codes.h"
#include "ui/status_bar_task.h"
#include "ui/status_display.h"
#include "ui/transport_buttons.h"
#include "ui/tray_controller.h"

namespace sonaro {
namespace {

constexpr int kWidthDlu = 320;

// Cuts `rect` to the desktop's size and moves it inside.
QRect keepInside(QRect rect, const QRect& desktop) {
    rect.setWidth(std::min(rect.width(), desktop.width()));
    rect.setHeight(std::min(rect.height(), desktop.height()));
    rect.moveLeft(std::clamp(rect.left(), desktop.left(), desktop.right() - rect.width() + 1));
    rect.moveTop(std::clamp(rect.top(), desktop.top(), desktop.bottom() - rect.height() + 1));
    return rect;
}

QFrame* separatorStrip(QWidget* parent, int height) {
    auto* strip = new QFrame(parent);
    strip->setFixedHeight(std::max(height, 1));
    strip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return strip;
}

}  // namespace

MainWindow::MainWindow(Application& application, SettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_application(application), m_settings(settings), m_hotKeys(settings) {
    setWindowTitle(
        QString::fromLatin1(SessionPresenter::kTitle.data(), SessionPresenter::kTitle.size()));
    m_tray = new TrayController(this);
    m_shortcuts = new ShortcutFilter(this);
    m_shortcuts->watch(this);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_menu = new MainMenuBar(this);
    m_layout->setMenuBar(m_menu);
    createToolbar();
    createInputPanel();
    m_display = new StatusDisplay(this);
    m_layout->addWidget(m_display);
    createMeter();
    m_layout->addWidget(separatorStrip(this, DluY(fontMetrics(), 4)));
    auto* line = separatorStrip(this, DluY(fontMetrics(), 1));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    m_layout->addWidget(line);
    m_buttonsArea = new QWidget(this);
    auto* buttonsLayout = new QVBoxLayout(m_buttonsArea);
    buttonsLayout->setContentsMargins(0, DluY(fontMetrics(), 2), 0, DluY(fontMetrics(), 2));
    m_transport = new TransportButtons(m_buttonsArea);
    buttonsLayout->addWidget(m_transport);
    m_layout->addWidget(m_buttonsArea);
    createOutputPanel();
    createStatusBar();
    createTimers();
    connectCommands();
    applyViewSettings();
    m_application.AttachHost(this);
    relayout();
}

MainWindow::~MainWindow() {
    // The children outlive this part of the window: a focus change while they go must not call
    // back into it.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
    }
    if (m_services.stopTransmit) {
        m_services.stopTransmit();
    }
    unregisterHotKeys();
    if (m_session != nullptr) {
        m_session->Shutdown();
        m_session->SetDisplay(nullptr);
    }
    m_application.AttachHost(nullptr);
}

void MainWindow::SetServices(Services services) {
    m_services = std::move(services);
    for (int i = 0; i <= cmd::kLaunchLast - cmd::kLaunchFirst; ++i) {
        m_menu->setItemEnabled(cmd::kLaunchFirst + i, static_cast<bool>(m_services.launch));
    }
    m_formatSettings->setVisible(static_cast<bool>(m_services.formatSettings));
    refreshPanels();
    relayout();
}

void MainWindow::createToolbar() {
    m_toolbar = new QToolBar(this);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setIconSize(QSize(DluY(fontMetrics(), 10), DluY(fontMetrics(), 10)));
    const auto add = [this](ProgramImage image, const char* text, const char* tip, int id) {
        QAction* action = m_toolbar->addAction(ProgramIcon(image), QString::fromLatin1(text));
        action->setToolTip(QString::fromLatin1(tip));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    };
    add(ProgramImage::Recordings, "Recordings", "Play and Manage Recording(s) in Output Folder",
        cmd::kToolbarRecordings);
    add(ProgramImage::Options, "Options", "Options", cmd::kToolbarOptions);
    auto* spacer = new QWidget(m_toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(spacer);
    add(ProgramImage::Help, "Help", "Display the manual (F1)", cmd::kHelpContents);
    m_toolbar->installEventFilter(this);
    m_layout->addWidget(m_toolbar);
}

ProgressListener& MainWindow::transmitListener() {
    return *m_transmitTask;
}

QAction* MainWindow::toolbarAction(int command) const {
    for (QAction* action : m_toolbar->actions()) {
        if (action->data().toInt() == command) {
            return action;
        }
    }
    return nullptr;
}

void MainWindow::createMeter() {
    m_meterRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_meterRow);
    row->setContentsMargins(DluX(fontMetrics(), 4), DluY(fontMetrics(), 2), DluX(fontMetrics(), 4),
                            0);
    m_meter = new VoiceLevelMeter(m_meterRow);
    m_meter->SetListener(this);
    m_meter->SetMarkerLabel("Voice Activate Level", "Enable Voice Activate",
                            "Disable Voice Activate");
    m_meter->setToolTip(tr("Right-click to enable/disable voice activation."));
    row->addWidget(m_meter);
    m_layout->addWidget(m_meterRow);
}

void MainWindow::createStatusBar() {
    m_statusBar = new QStatusBar(this);
    m_statusBar->setSizeGripEnabled(false);
    m_statusText = new QLabel(QString::fromLatin1(SessionPresenter::kVersionText.data(),
                                                  SessionPresenter::kVersionText.size()),
                              m_statusBar);
    m_statusBar->addWidget(m_statusText, 1);
    m_transmitTask = new StatusBarTask(m_statusBar);
    m_statusBar->addPermanentWidget(m_transmitTask);
    m_statusBar->installEventFilter(this);
    m_layout->addWidget(m_statusBar);
}

void MainWindow::createTimers() {
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, [this] { m_application.OnStopTimer(); });
    m_blink.setInterval(kBlinkMs);
    connect(&m_blink, &QTimer::timeout, this, [this] { m_presenter.OnBlink(); });
    for (const SessionTimer id :
         {SessionTimer::IntervalTone, SessionTimer::FreeSpace, SessionTimer::FirstRun}) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_session != nullptr) {
                m_session->OnTimer(id);
            }
        });
        m_timers[id] = timer;
    }
}

void MainWindow::connectCommands() {
    connect(m_menu, &MainMenuBar::command, this, &MainWindow::RunCommand);
    connect(m_transport, &TransportButtons::command, this, &MainWindow::RunCommand);
    connect(m_tray, &TrayController::command, this, &MainWindow::RunCommand);
    connect(m_shortcuts, &ShortcutFilter::command, this, &MainWindow::RunCommand);
    connect(m_tray, &TrayController::aboutToShowMenu, this,
            [this] { m_presenter.RefreshControls(); });
    connect(m_tray, &TrayController::restoreRequested, this, &MainWindow::RestoreAndActivate);
    for (QMenu* menu : m_menu->findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToShow, this, [this] { m_presenter.RefreshControls(); });
    }
}

void MainWindow::applyViewSettings() {
    m_toolbar->setVisible(m_settings.Read(setting::kShowToolbar));
    m_buttonsArea->setVisible(m_settings.Read(setting::kShowButtons));
    m_statusBar->setVisible(m_settings.Read(setting::kShowStatusBar));
    m_menu->setChecked(cmd::kViewToolbar, !m_toolbar->isHidden());
    m_menu->setChecked(cmd::kViewButtons, !m_buttonsArea->isHidden());
    m_menu->setChecked(cmd::kViewStatusBar, !m_statusBar->isHidden());
    const bool floating = m_settings.Read(setting::kFloat);
    m_menu->setChecked(cmd::kFloat, floating);
    setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    m_meter->SetMarkerShown(m_settings.Read(setting::kVoiceActivate));
    m_meter->SetMarkerLevel(
        static_cast<std::int8_t>(m_settings.Read(setting::kVoiceActivateLevel)));
}

void MainWindow::relayout() {
    const QFontMetrics metrics = fontMetrics();
    const int width = DluX(metrics, kWidthDlu);
    m_meter->setFixedHeight(DluY(metrics, m_meter->markerShown() ? 20 : 7));
    m_transport->layoutFor(width);
    // The inner layouts of a window not shown yet still hold their first hints.
    for (QWidget* part : {static_cast<QWidget*>(m_transport), m_buttonsArea, m_meterRow}) {
        part->layout()->invalidate();
        part->layout()->activate();
    }
    m_layout->invalidate();
    m_layout->activate();
    setFixedSize(width, m_layout->totalSizeHint().height());
}

void MainWindow::PlaceWindow() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    relayout();
    QRect rect(QPoint(), size());
    rect.moveCenter(desktop.center());
    rect.moveLeft(m_settings.ReadIfStored(setting::kWindowX).value_or(rect.left()));
    rect.moveTop(m_settings.ReadIfStored(setting::kWindowY).value_or(rect.top()));
    if (!m_settings.ReadIfStored(setting::kWindowHeight)) {
        rect = keepInside(rect, desktop);
    }
    move(rect.topLeft());
}

void MainWindow::AttachSession(LRecordingSession& session, FileNaming& naming) {
    m_session = &session;
    m_naming = &naming;
    m_presenter.SetSession(&session, &naming);
    session.SetDisplay(&m_presenter);
    registerHotKeys();
    session.Attach();
    relayout();
}

bool MainWindow::EnableHotKeys(std::unique_ptr<HotKeyRegistrar> registrar) {
    unregisterHotKeys();
    m_registrar = std::move(registrar);
    registerHotKeys();
    return m_registrar->available();
}

bool MainWindow::hotKeysAvailable() const {
    return m_registrar != nullptr && m_registrar->available();
}

void MainWindow::registerHotKeys() {
    if (m_registrar != nullptr) {
        RegisterAllHotKeys(*m_registrar, m_hotKeys);
    }
}

void MainWindow::unregisterHotKeys() {
    if (m_registrar != nullptr) {
        UnregisterAllHotKeys(*m_registrar, m_hotKeys);
    }
}

void MainWindow::OnHotKey(int position) {
    switch (static_cast<HotKeyCommand>(m_hotKeys.CommandOfHotKey(position))) {
        case HotKeyCommand::Record:
            return runSessionAction(cmd::kRecord);
        case HotKeyCommand::Pause:
            return runSessionAction(cmd::kPause);
        case HotKeyCommand::GoToStart:
            return runSessionAction(cmd::kRestart);
        case HotKeyCommand::Stop:
            return runSessionAction(cmd::kStopAndMarkDone);
        case HotKeyCommand::Recordings:
            return m_presenter.OpenRecordings();
    }
}

void MainWindow::runSessionAction(int command) {
    if (m_session == nullptr) {
        return;
    }
    switch (RouteCommand(command).action) {
        case WindowAction::Record:
            m_session->Record(LRecordingSession::kDefaultMaxMs);
            return;
        case WindowAction::Play:
            return m_session->Play();
        case WindowAction::Pause:
            return m_session->Pause();
        case WindowAction::Restart:
            return m_session->Restart();
        case WindowAction::Stop:
            return m_session->Stop();
        default:
            return;
    }
}

void MainWindow::RunCommand(int command) {
    const ScopedActivityCommand activity(command);
    const RoutedCommand routed = RouteCommand(command);
    switch (routed.action) {
        case WindowAction::Record:
        case WindowAction::Play:
        case WindowAction::Pause:
        case WindowAction::Restart:
        case WindowAction::Stop:
            return runSessionAction(command);
        case WindowAction::Options:
            return m_presenter.OpenOptions(routed.page);
        case WindowAction::SetupWizard:
            return m_presenter.sessionIdle() ? m_presenter.RunFirstRunSetup() : void();
        case WindowAction::OpenRecordings:
            return m_presenter.OpenRecordings();
        case WindowAction::ToggleToolbar:
            return toggleView(setting::kShowToolbar);
        case WindowAction::ToggleButtons:
            return toggleView(setting::kShowButtons);
        case WindowAction::ToggleStatusBar:
            return toggleView(setting::kShowStatusBar);
        case WindowAction::ToggleFloat:
            return toggleFloat();
        case WindowAction::ToolbarMenu:
            return hideMenu(cmd::kHideToolbar, "Hide Toolbar");
        case WindowAction::ButtonMenu:
            return hideMenu(cmd::kHideButtons, "Hide Buttons");
        case WindowAction::StatusBarMenu:
            return hideMenu(cmd::kHideStatusBar, "Hide StatusBar");
        case WindowAction::Restore:
            return RestoreAndActivate();
        case WindowAction::Launch:
            return m_services.launch ? m_services.launch(routed.page) : void();
        case WindowAction::ExitTurnOff:
            return Exit();
        case WindowAction::ExitToTray:
            close();
            return;
        case WindowAction::About:
            m_prompter.ShowMessage(
                {"Sonaro Sound Recorder v 3.03\r\n\r\nRecords from any sound "
                 "input to WAV, MP3 or AIFF files.",
                 "About Sonaro Sound Recorder", PromptButtons::Ok, PromptIcon::Information,
                 PromptAnswer::Ok});
            return;
        case WindowAction::HelpContents:
            return m_services.openHelp ? m_services.openHelp() : void();
        case WindowAction::None:
            return;
    }
}

void MainWindow::toggleView(const BoolSetting& view) {
    m_settings.Write(view, !m_settings.Read(view));
    applyViewSettings();
    relayout();
}

void MainWindow::toggleFloat() {
    const bool floating = !m_settings.Read(setting::kFloat);
    m_settings.Write(setting::kFloat, floating);
    m_menu->setChecked(cmd::kFloat, floating);
    // Changing the flag re-creates the native window: keep it where it was.
    const QPoint where = pos();
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    move(where);
    if (visible) {
        show();
    }
}

void MainWindow::hideMenu(int hideCommand, const char* text) {
    QMenu menu(this);
    QAction* hide = menu.addAction(QString::fromLatin1(text));
    if (menu.exec(QCursor::pos()) == hide) {
        RunCommand(hideCommand);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu && watched == m_toolbar) {
        RunCommand(cmd::kToolbarMenu);
        return true;
    }
    if (event->type() == QEvent::ContextMenu && watched == m_statusBar) {
        RunCommand(cmd::kStatusBarMenu);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    m_presenter.OnShown();
    QWidget::showEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        m_presenter.OnShown();
    }
    QWidget::changeEvent(event);
}

// Without a tray a hidden window could not be brought back: it is minimised instead.
void MainWindow::HideWindow() {
    if (m_tray->hasIcon()) {
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::ShowWindow() {
    showNormal();
}

void MainWindow::RestoreAndActivate() {
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    show();
    raise();
    activateWindow();
}

void MainWindow::Exit() {
    // "close now" is posted, so an option list that ends the program is applied to its end.
    QMetaObject::invokeMethod(this, &MainWindow::closeNow, Qt::QueuedConnection);
}

void MainWindow::ArmStopTimer(int ms) {
    m_stopTimer.start(ms);
}

void MainWindow::closeNow() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    m_stopTimer.stop();
    m_blink.stop();
    unregisterHotKeys();
    const QPoint normal = isMaximized() || isMinimized() ? normalGeometry().topLeft() : pos();
    m_settings.Write(setting::kWindowX, normal.x());
    m_settings.Write(setting::kWindowY, normal.y());
    if (m_settings.Read(setting::kSCheckDate) == 0) {
        m_settings.Write(setting::kHaveRun, true);
    }
    m_tray->hide();
    close();
    emit closedNow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // Closing keeps the recorder running in the tray; without a tray it stays on the task bar.
    event->ignore();
    HideWindow();
}

}  // namespace sonaro
