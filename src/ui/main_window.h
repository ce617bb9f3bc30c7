#pragma once

#include <QTimer>
#include <QWidget>

#include "app/command_host.h"

class QCloseEvent;
class QSystemTrayIcon;

namespace sonaro {

class Application;
class SettingsStore;

// The recorder's main window (a small frame for now): carries out the command line's window
// requests, closes to the tray, and ends the program on "close now". Lives on the user-interface
// thread.
class MainWindow : public QWidget, public CommandHost {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Sonaro Sound Recorder";

    MainWindow(Application& application, SettingsStore& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Size and position from "X"/"Y" of section "MainWindow", centred by default, kept on the
    // desktop unless "Height" is stored too.
    void PlaceWindow();

    void HideWindow() override;
    void ShowWindow() override;
    void RestoreAndActivate() override;
    void Exit() override;
    void ArmStopTimer(int ms) override;

  signals:
    // Emitted once, when the window has saved its state on its way out.
    void closedNow();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void closeNow();
    void createTrayIcon();

    Application& m_application;
    SettingsStore& m_settings;
    QTimer m_stopTimer;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_closing = false;
};

}  // namespace sonaro
