#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include <cstdio>

#include "app/application.h"
#include "record/file_naming.h"
#include "record/recording_session.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr const char* kSection = "MainWindow";

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window's size: 320 by 160 dialog units of the window font.
QSize dialogSize(const QFontMetrics& metrics) {
    return {320 * metrics.averageCharWidth() / 4, 160 * metrics.height() / 8};
}

// Cuts `rect` to the desktop's size and moves it inside.
QRect keepInside(QRect rect, const QRect& desktop) {
    rect.setWidth(std::min(rect.width(), desktop.width()));
    rect.setHeight(std::min(rect.height(), desktop.height()));
    if (rect.left() < desktop.left()) {
        rect.moveLeft(desktop.left());
    }
    if (rect.top() < desktop.top()) {
        rect.moveTop(desktop.top());
    }
    if (rect.right() > desktop.right()) {
        rect.moveRight(desktop.right());
    }
    if (rect.bottom() > desktop.bottom()) {
        rect.moveBottom(desktop.bottom());
    }
    return rect;
}

}  // namespace

MainWindow::MainWindow(Application& application, SettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_application(application), m_settings(settings) {
    setWindowTitle(kTitle);
    createSessionControls();
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, [this] { m_application.OnStopTimer(); });
    createTrayIcon();
    m_application.AttachHost(this);
}

MainWindow::~MainWindow() {
    if (m_session != nullptr) {
        m_session->Shutdown();
        m_session->SetDisplay(nullptr);
    }
    m_application.AttachHost(nullptr);
}

void MainWindow::createTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_tray = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_MediaVolume), this);
    m_tray->setToolTip(kTitle);
    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("Open Sonaro")), &QAction::triggered, this,
            &MainWindow::RestoreAndActivate);
    menu->addSeparator();
    connect(menu->addAction(tr("Exit (Turn Off)")), &QAction::triggered, this, &MainWindow::Exit);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) {
            RestoreAndActivate();
        }
    });
    m_tray->show();
}

void MainWindow::PlaceWindow() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    QRect rect(QPoint(), dialogSize(fontMetrics()));
    rect.moveCenter(desktop.center());
    rect.moveLeft(static_cast<int>(m_settings.ReadSettingInt(kSection, "X", rect.left())));
    rect.moveTop(static_cast<int>(m_settings.ReadSettingInt(kSection, "Y", rect.top())));
    if (m_settings.ReadSettingString(kSection, "Height", "").empty()) {
        rect = keepInside(rect, desktop);
    }
    resize(rect.size());
    move(rect.topLeft());
}

void MainWindow::HideWindow() {
    hide();
}

void MainWindow::ShowWindow() {
    showNormal();
}

void MainWindow::RestoreAndActivate() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
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
    const QPoint normal = isMaximized() || isMinimized() ? normalGeometry().topLeft() : pos();
    m_settings.WriteSettingInt(kSection, "X", normal.x());
    m_settings.WriteSettingInt(kSection, "Y", normal.y());
    if (m_settings.ReadSettingInt(kSettingsSection, "SCheckDate", 0) == 0) {
        m_settings.WriteSettingBool(kSettingsSection, "HaveRun", true);
    }
    if (m_tray != nullptr) {
        m_tray->hide();
    }
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
    if (m_tray != nullptr) {
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::createSessionControls() {
    auto* layout = new QVBoxLayout(this);
    m_indicator = new QLabel(tr("Ready"), this);
    m_time = new QLabel(QStringLiteral("00:00:00"), this);
    m_fileName = new QLabel(this);
    m_format = new QLabel(this);
    m_folder = new QLabel(this);
    m_level = new QLabel(this);
    m_status = new QLabel(this);
    for (QLabel* label : {m_indicator, m_time, m_fileName, m_format, m_folder, m_level, m_status}) {
        layout->addWidget(label);
    }
    auto* row = new QHBoxLayout;
    const std::pair<SessionButton, QString> buttons[] = {{SessionButton::Record, tr("Record")},
                                                         {SessionButton::Pause, tr("Pause")},
                                                         {SessionButton::Stop, tr("Stop")},
                                                         {SessionButton::Play, tr("Play")}};
    for (const auto& [id, text] : buttons) {
        auto* button = new QPushButton(text, this);
        button->setEnabled(false);
        row->addWidget(button);
        m_buttons[id] = button;
    }
    m_buttons[SessionButton::Pause]->setCheckable(true);
    layout->addLayout(row);
}

void MainWindow::AttachSession(LRecordingSession& session, FileNaming& naming) {
    m_session = &session;
    m_naming = &naming;
    connect(m_buttons[SessionButton::Record], &QPushButton::clicked, this,
            [this] { m_session->Record(LRecordingSession::kDefaultMaxMs); });
    connect(m_buttons[SessionButton::Pause], &QPushButton::clicked, this,
            [this] { m_session->Pause(); });
    connect(m_buttons[SessionButton::Stop], &QPushButton::clicked, this,
            [this] { m_session->Stop(); });
    connect(m_buttons[SessionButton::Play], &QPushButton::clicked, this,
            [this] { m_session->Play(); });
    for (const SessionTimer id : {SessionTimer::StopAfter, SessionTimer::IntervalTone,
                                  SessionTimer::FreeSpace, SessionTimer::FirstRun}) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] { m_session->OnTimer(id); });
        m_timers[id] = timer;
    }
    ShowFolder(naming.GetOutputFolder());
    ShowIdleControls();
    session.SetDisplay(this);
    session.Attach();
}

void MainWindow::enableButtons(bool record, bool pause, bool stop, bool play) {
    m_buttons[SessionButton::Record]->setEnabled(record);
    m_buttons[SessionButton::Pause]->setEnabled(pause);
    m_buttons[SessionButton::Stop]->setEnabled(stop);
    m_buttons[SessionButton::Play]->setEnabled(play);
}

void MainWindow::ShowRecordingControls() {
    enableButtons(false, true, true, false);
    m_buttons[SessionButton::Pause]->setChecked(false);
}

void MainWindow::ShowWaitingControls() {
    ShowRecordingControls();
}

void MainWindow::ShowIdleControls() {
    enableButtons(true, false, false, m_session != nullptr && !m_session->currentPath().empty());
    m_buttons[SessionButton::Pause]->setChecked(false);
}

void MainWindow::ShowPausedControls() {
    enableButtons(true, false, true, false);
    m_buttons[SessionButton::Pause]->setChecked(true);
}

void MainWindow::ReportInvalidOutputFolder() {
    m_prompter.ShowMessage({"Please specify a valid output directory.", "Invalid output directory",
                            PromptButtons::Ok, PromptIcon::Error, PromptAnswer::Ok});
}

void MainWindow::ShowIndicator(int code) {
    static const char* const kTexts[] = {"Ready", "Recording...", "Waiting for voice input..."};
    m_indicator->setText(code >= 0 && code <= 2 ? tr(kTexts[code]) : QString());
}

void MainWindow::ShowTime(int ms) {
    const int seconds = ms / 1000;
    m_time->setText(QStringLiteral("%1:%2:%3")
                        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                        .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void MainWindow::ShowFileName(std::string_view name) {
    m_fileName->setText(qt(name));
}

void MainWindow::ShowFolder(std::string_view path) {
    m_folder->setText(qt(path));
}

void MainWindow::ShowFormat(std::string_view text) {
    m_format->setText(qt(text));
}

void MainWindow::CheckFreeSpace() {
    if (m_naming == nullptr) {
        return;
    }
    const FreeSpaceReport report = m_naming->CheckFreeSpace();
    m_status->setText(report.checked ? qt(report.statusText) : QString());
}

void MainWindow::ShowLevels(const LevelSet& levels) {
    int loudest = LevelSet::kSilence;
    for (int i = 0; i < levels.count && i < LevelSet::kMaxChannels; ++i) {
        loudest = std::max<int>(loudest, levels.levels[static_cast<std::size_t>(i)]);
    }
    ShowLevel(loudest);
}

void MainWindow::ShowLevel(int db) {
    m_level->setText(db <= LevelSet::kSilence ? QString() : tr("Level: %1 dB").arg(db));
}

void MainWindow::SetButtonChecked(SessionButton button, bool checked) {
    if (const auto found = m_buttons.find(button); found != m_buttons.end()) {
        found->second->setChecked(checked);
    }
}

void MainWindow::ShowButtonTip(SessionButton, std::string_view text, std::string_view title) {
    m_status->setText(qt(title) + QStringLiteral(": ") + qt(text));
}

// Without a display no one can answer: the prompt counts as cancelled.
bool MainWindow::PromptForFileName(std::string& name) {
    if (QtPrompter::IsHeadless()) {
        std::fprintf(stderr, "Enter File Name: no display to ask for a name; cancelled\n");
        return false;
    }
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Enter File Name"), tr("File name:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (ok) {
        name = text.toStdString();
    }
    return ok;
}

void MainWindow::ExitProgram() {
    Exit();
}

void MainWindow::ArmTimer(SessionTimer timer, int ms) {
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->start(ms);
    }
}

void MainWindow::KillTimer(SessionTimer timer) {
    if (const auto found = m_timers.find(timer); found != m_timers.end()) {
        found->second->stop();
    }
}

QString MainWindow::indicatorText() const {
    return m_indicator->text();
}

QString MainWindow::timeText() const {
    return m_time->text();
}

QString MainWindow::fileNameText() const {
    return m_fileName->text();
}

QString MainWindow::formatText() const {
    return m_format->text();
}

QString MainWindow::folderText() const {
    return m_folder->text();
}

QPushButton* MainWindow::button(SessionButton button) const {
    const auto found = m_buttons.find(button);
    return found != m_buttons.end() ? found->second : nullptr;
}

}  // namespace sonaro
