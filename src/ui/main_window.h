#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

#include "app/command_host.h"
#include "app/hot_keys.h"
#include "record/recording_display.h"
#include "ui/qt_prompter.h"
#include "ui/voice_level_meter.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QToolBar;
class QVBoxLayout;

namespace sonaro {

class Application;
class CollapsiblePanel;
class FileNaming;
class FormatSettings;
class LRecordingSession;
class MainMenuBar;
class SettingsStore;
class ShortcutFilter;
class StatusDisplay;
class TransportButtons;
class TrayController;
class UiDispatcher;
class WaveInDeviceList;

// The recorder's main window: toolbar, input panel, display area, input level meter, transport
// buttons, output panel and status bar, stacked at a fixed width with hidden parts taking no
// room; the menu bar, the tray icon and the hot keys. It carries out the command line's window
// requests and shows the recording session through its display hooks. Closing it keeps the
// program in the tray (minimised where the desktop has no tray).
//
// Lives on the user-interface thread.
class MainWindow : public QWidget,
                   public CommandHost,
                   public RecordingDisplay,
                   private VoiceLevelMeterListener {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Sonaro Sound Recorder";
    static constexpr const char* kVersionText = "Sonaro Sound Recorder v 3.03";
    static constexpr int kBlinkMs = 400;

    // What the window works with besides the session; every pointer may stay null.
    struct Services {
        WaveInDeviceList* devices = nullptr;
        UiDispatcher* dispatcher = nullptr;
        FormatSettings* formats = nullptr;
        // The options dialog at a page (0 Record to 4 Keys).
        std::function<void(int page)> openOptions;
        // The recordings window; without it the output folder opens in the file manager.
        std::function<void()> openRecordings;
        // One of the maker's programs of the Launch menu, 0 to 3.
        std::function<void(int program)> launch;
        // The chosen output format's settings.
        std::function<void()> formatSettings;
    };

    MainWindow(Application& application, SettingsStore& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    void SetServices(Services services);
    // Size and position from "X"/"Y" of section "MainWindow", centred by default, kept on the
    // desktop unless "Height" is stored too.
    void PlaceWindow();

    // Shows `session` and drives it, then attaches it. The session and `naming` outlive the
    // window; the window shuts the session down when it is destroyed.
    void AttachSession(LRecordingSession& session, FileNaming& naming);
    // Takes the platform's system-wide hot keys, whose presses go to OnHotKey, and registers the
    // stored ones. False when hot keys are unavailable there.
    bool EnableHotKeys(std::unique_ptr<HotKeyRegistrar> registrar);
    bool hotKeysAvailable() const;
    // The hot key at `position` was pressed: runs its command.
    void OnHotKey(int position);
    // A menu item, button, tray item or shortcut by its command number.
    void RunCommand(int command);

    void HideWindow() override;
    void ShowWindow() override;
    void RestoreAndActivate() override;
    void Exit() override;
    void ArmStopTimer(int ms) override;

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
    void ShowStatusText(std::string_view text) override;
    void CheckFreeSpace() override;
    void ShowLevels(const LevelSet& levels) override;
    void ShowLevel(int db) override;
    void SetButtonChecked(SessionButton button, bool checked) override;
    void SetTrayState(int icon, std::string_view tip) override;
    void ShowTrayNotice(std::string_view text) override;
    void ShowButtonTip(SessionButton button, std::string_view text,
                       std::string_view title) override;
    void OpenRecordings() override;
    void RunFirstRunSetup() override;
    bool PromptForFileName(std::string& name) override;
    void OpenOptions(int page) override;
    void ExitProgram() override;
    void ArmTimer(SessionTimer timer, int ms) override;
    void KillTimer(SessionTimer timer) override;

    // The parts, as the tests read them.
    MainMenuBar* menu() const { return m_menu; }
    TrayController* tray() const { return m_tray; }
    TransportButtons* transport() const { return m_transport; }
    VoiceLevelMeter* levelMeter() const { return m_meter; }
    StatusDisplay* display() const { return m_display; }
    CollapsiblePanel* inputPanel() const { return m_inputPanel; }
    CollapsiblePanel* outputPanel() const { return m_outputPanel; }
    QToolBar* toolbar() const { return m_toolbar; }
    QStatusBar* statusBar() const { return m_statusBar; }
    QAction* toolbarAction(int command) const;
    QLineEdit* folderField() const { return m_folderField; }
    ShortcutFilter* shortcuts() const { return m_shortcuts; }
    bool blinking() const { return m_blink.isActive(); }
    int iconNumber() const { return m_iconNumber; }
    // The last balloon shown at a control: title and text.
    QString lastBalloon() const { return m_lastBalloon; }
    QString indicatorText() const;
    QString timeText() const;
    QString fileNameText() const;
    QString formatText() const;
    QString folderText() const;

  signals:
    // Emitted once, when the window has saved its state on its way out.
    void closedNow();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Shown { Idle, Waiting, Recording, Paused };

    void OnMarkerMoved(std::int8_t level) override;
    void OnMarkerToggled(bool shown) override;

    void closeNow();
    void createToolbar();
    void createInputPanel();
    void createOutputPanel();
    void createMeter();
    void createStatusBar();
    void createTimers();
    void connectCommands();
    void applyViewSettings();
    void relayout();
    void refreshControls();
    void refreshTrayMenu();
    void setPanelsEnabled(bool enabled);
    // Record lit, the other transport buttons dark, Play busy, panels locked: recording or waiting.
    void showCapturing();
    void setIcon(int number);
    // Hidden or minimised, the clock, the meter and the window icon only keep their values;
    // they are drawn when the window shows again.
    bool onScreen() const;
    void catchUp();
    void toggleView(const BoolSetting& view);
    void toggleFloat();
    void hideMenu(int hideCommand, const char* text);
    void showBalloon(QWidget* at, const QString& title, const QString& text);
    void fillInputPanel();
    void fillSourceList();
    void onDeviceChosen();
    void onFolderEdited();
    // The input and output panels from the stored choices.
    void refreshPanels();
    void refreshOutputSummary();
    void registerHotKeys();
    void unregisterHotKeys();
    bool sessionIdle() const;
    void runSessionAction(int command);

    Application& m_application;
    SettingsStore& m_settings;
    Services m_services;
    HotKeyStore m_hotKeys;
    std::unique_ptr<HotKeyRegistrar> m_registrar;
    QtPrompter m_prompter{this};
    LRecordingSession* m_session = nullptr;
    FileNaming* m_naming = nullptr;

    QVBoxLayout* m_layout = nullptr;
    MainMenuBar* m_menu = nullptr;
    QToolBar* m_toolbar = nullptr;
    CollapsiblePanel* m_inputPanel = nullptr;
    QComboBox* m_deviceList = nullptr;
    QComboBox* m_sourceList = nullptr;
    StatusDisplay* m_display = nullptr;
    VoiceLevelMeter* m_meter = nullptr;
    QWidget* m_meterRow = nullptr;
    QWidget* m_buttonsArea = nullptr;
    TransportButtons* m_transport = nullptr;
    CollapsiblePanel* m_outputPanel = nullptr;
    QComboBox* m_formatList = nullptr;
    QPushButton* m_formatSettings = nullptr;
    QLineEdit* m_folderField = nullptr;
    QPushButton* m_browse = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusText = nullptr;
    TrayController* m_tray = nullptr;
    ShortcutFilter* m_shortcuts = nullptr;

    QTimer m_stopTimer;
    QTimer m_blink;
    std::map<SessionTimer, QTimer*> m_timers;
    Shown m_shown = Shown::Idle;
    int m_iconNumber = 1;
    int m_timeMs = 0;
    LevelSet m_levels;
    bool m_blinkPhase = false;
    bool m_lowSpaceShown = false;
    bool m_closing = false;
    QString m_lastBalloon;
};

}  // namespace sonaro
