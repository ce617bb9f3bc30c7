#pragma once

#include <QTimer>
#include <QWidget>

#include <map>

#include "app/command_host.h"
#include "record/recording_display.h"
#include "ui/qt_prompter.h"

class QCloseEvent;
class QLabel;
class QPushButton;
class QSystemTrayIcon;

namespace sonaro {

class Application;
class FileNaming;
class LRecordingSession;
class SettingsStore;

// The recorder's main window (a small frame for now): carries out the command line's window
// requests, shows the recording session's state with its Record, Pause, Stop and Play buttons,
// closes to the tray, and ends the program on "close now". Lives on the user-interface thread.
class MainWindow : public QWidget, public CommandHost, public RecordingDisplay {
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

    // Shows `session` and drives it from the buttons and timers, then attaches it. The session
    // and `naming` outlive the window; the window shuts the session down when it is destroyed.
    void AttachSession(LRecordingSession& session, FileNaming& naming);

    void ShowRecordingControls() override;
    void ShowWaitingControls() override;
    void ShowIdleControls() override;
    void ShowPausedControls() override;
    void ReportInvalidOutputFolder() override;
    void ShowIndicator(int code) override;
    void ShowTime(int ms) override;
    void ShowFileName(std::string_view name) override;
    void ShowFolder(std::string_view path) override;
    void ShowFormat(std::string_view text) override;
    void CheckFreeSpace() override;
    void ShowLevels(const LevelSet& levels) override;
    void ShowLevel(int db) override;
    void SetButtonChecked(SessionButton button, bool checked) override;
    void ShowButtonTip(SessionButton button, std::string_view text,
                       std::string_view title) override;
    bool PromptForFileName(std::string& name) override;
    void ExitProgram() override;
    void ArmTimer(SessionTimer timer, int ms) override;
    void KillTimer(SessionTimer timer) override;

    // The session's display as the tests read it.
    QString indicatorText() const;
    QString timeText() const;
    QString fileNameText() const;
    QString formatText() const;
    QString folderText() const;
    QPushButton* button(SessionButton button) const;

  signals:
    // Emitted once, when the window has saved its state on its way out.
    void closedNow();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void closeNow();
    void createTrayIcon();
    void createSessionControls();
    void enableButtons(bool record, bool pause, bool stop, bool play);

    Application& m_application;
    SettingsStore& m_settings;
    QTimer m_stopTimer;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_closing = false;
    QtPrompter m_prompter{this};
    LRecordingSession* m_session = nullptr;
    FileNaming* m_naming = nullptr;
    QLabel* m_indicator = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_fileName = nullptr;
    QLabel* m_format = nullptr;
    QLabel* m_folder = nullptr;
    QLabel* m_level = nullptr;
    QLabel* m_status = nullptr;
    std::map<SessionButton, QPushButton*> m_buttons;
    std::map<SessionTimer, QTimer*> m_timers;
};

}  // namespace sonaro
