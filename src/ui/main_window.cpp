#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "app/application.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr const char* kSection = "MainWindow";
constexpr const char* kSettingsSection = "Settings";

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
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Ready"), this));
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, [this] { m_application.OnStopTimer(); });
    createTrayIcon();
    m_application.AttachHost(this);
}

MainWindow::~MainWindow() {
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

}  // namespace sonaro
