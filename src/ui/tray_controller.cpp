#include "ui/tray_controller.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include "ui/program_icons.h"

namespace sonaro {

TrayController::TrayController(QWidget* window) : QObject(window), m_window(window) {
    m_menu = new QMenu(window);
    QAction* open = add("Open Sonaro", cmd::kTrayOpen);
    m_menu->setDefaultAction(open);
    m_menu->addSeparator();
    add("&Play", cmd::kTrayPlay);
    add("Record", cmd::kTrayRecord);
    add("Pause", cmd::kTrayPause);
    add("Stop", cmd::kTrayStop);
    add("Restart", cmd::kTrayRestart);
    m_menu->addSeparator();
    add("Exit (Turn Off)", cmd::kExitTurnOff);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayController::aboutToShowMenu);
    m_tip = QStringLiteral("Sonaro Sound Recorder");
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_icon = new QSystemTrayIcon(WindowIconForResource(1), this);
    m_icon->setToolTip(m_tip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    emit restoreRequested();
                }
            });
    m_icon->show();
}

TrayController::~TrayController() {
    hide();
}

QAction* TrayController::add(const char* text, int id) {
    QAction* action = m_menu->addAction(QString::fromLatin1(text));
    connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
    m_items[id] = action;
    return action;
}

QAction* TrayController::item(int command) const {
    const auto found = m_items.find(command);
    return found == m_items.end() ? nullptr : found->second;
}

void TrayController::setState(int iconNumber, const QString& tip) {
    m_iconNumber = iconNumber;
    m_tip = tip.left(kTipLimit);
    if (m_icon != nullptr) {
        m_icon->setIcon(WindowIconForResource(iconNumber));
        m_icon->setToolTip(m_tip);
    }
}

void TrayController::showNotice(const QString& text) {
    if (m_icon != nullptr) {
        m_icon->showMessage(QString(), text.left(kNoticeLimit), QSystemTrayIcon::NoIcon, kNoticeMs);
    }
}

void TrayController::setEnabling(const TrayEnabling& enabling) {
    m_items[cmd::kTrayPlay]->setEnabled(enabling.play);
    m_items[cmd::kTrayRecord]->setEnabled(enabling.record);
    m_items[cmd::kTrayPause]->setEnabled(enabling.pause);
    m_items[cmd::kTrayStop]->setEnabled(enabling.stop);
    m_items[cmd::kTrayRestart]->setEnabled(enabling.restart);
}

void TrayController::hide() {
    if (m_icon != nullptr) {
        m_icon->hide();
    }
}

}  // namespace sonaro
