#pragma once

#include <QObject>

#include <map>

#include "app/window_commands.h"

class QMenu;
class QAction;
class QSystemTrayIcon;
class QWidget;

namespace sonaro {

// The notification-area icon with its menu and balloons. The menu exists even where the desktop
// has no tray, so its state can be read; the icon itself only where a tray is available.
class TrayController : public QObject {
    Q_OBJECT

  public:
    static constexpr int kTipLimit = 63;
    static constexpr int kNoticeLimit = 255;
    static constexpr int kNoticeMs = 15000;

    explicit TrayController(QWidget* window);
    ~TrayController() override;

    bool hasIcon() const { return m_icon != nullptr; }
    // Icon resource 1, 5, 6 or 7 and the tip (cut to 63 characters).
    void setState(int iconNumber, const QString& tip);
    QString tip() const { return m_tip; }
    int iconNumber() const { return m_iconNumber; }
    // A balloon without a title (text cut to 255 characters), shown for 15 s.
    void showNotice(const QString& text);
    void setEnabling(const TrayEnabling& enabling);
    QMenu* menu() const { return m_menu; }
    QAction* item(int command) const;
    void hide();

  signals:
    void command(int id);
    // The menu is about to open: the owner refreshes the enabling.
    void aboutToShowMenu();
    // A left click on the icon.
    void restoreRequested();

  private:
    QAction* add(const char* text, int id);

    QWidget* m_window;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    std::map<int, QAction*> m_items;
    QString m_tip;
    int m_iconNumber = 1;
};

}  // namespace sonaro
