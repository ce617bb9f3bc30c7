#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/command_host.h"
#include "app/hot_keys.h"
#include "app/session_presenter.h"
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
class ProgressListener;
class StatusBarTask;
class StatusDisplay;
class TransportButtons;
class TrayController;
class UiDispatcher;
class WaveInDeviceList;

// The recorder's main window: toolbar, input panel, display area, input level meter, transport
// buttons, output panel and status bar, stacked at a fixed width with hidden parts taking no
// room; the menu bar, the tray icon and the hot keys. It carries out the command line's window
// requests and shows the recording session as its presenter decides. Closing it keeps the
// program in the tray (minimised where the desktop has no tray).
//
// Lives on the user-interface thread.
class MainWindow : public QWidget,
                   public CommandHost,
                   private SessionView,
                   private VoiceLevelMeterListener {
    Q_OBJECT

  public:
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
        // The manual (Help Contents).
        std::function<void()> openHelp;
        // The chosen output format's settings.
        std::function<void()> formatSettings;
        // Puts back the send queue's inert listener, stops the queue and waits for its thread:
        // the first step of the window's teardown.
        std::function<void()> stopTransmit;
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
    // The status bar's listener for the send queue.
    ProgressListener& transmitListener();
    // What the session shows through this window.
    SessionPresenter& presenter() { return m_presenter; }

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
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool isOnScreen() const override;
    bool canAsk() const override;
    void render(const SessionLook& look) override;
    void showIcon(int number, std::string_view trayTip) override;
    void showIndicator(int code) override;
    void showTime(int ms) override;
    void showLevels(const LevelSet& levels) override;
    void showFileName(std::string_view name) override;
    void showFolder(std::string_view path) override;
    void showFormat(std::string_view text) override;
    void showStatusText(std::string_view text) override;
    void showSpace(std::string_view text, double usedFraction) override;
    void showTrayNotice(std::string_view text) override;
    void showBalloon(BalloonPlace place, std::string_view title, std::string_view text) override;
    void expandOutputPanel() override;
    void openRecordings() override;
    void runFirstRunSetup() override;
    std::optional<std::string> askFileName() override;
    void openOptions(int page) override;
    void exitProgram() override;
    void armTimer(SessionTimer timer, int ms) override;
    void killTimer(SessionTimer timer) override;

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
    QAction* toolbarAction(int command) const;
    QWidget* balloonWidget(BalloonPlace place) const;
    void toggleView(const BoolSetting& view);
    void toggleFloat();
    void hideMenu(int hideCommand, const char* text);
    void fillInputPanel();
    void fillSourceList();
    void onDeviceChosen();
    void onFolderEdited();
    // The input and output panels from the stored choices.
    void refreshPanels();
    void refreshOutputSummary();
    void showChosenFormat();
    void registerHotKeys();
    void unregisterHotKeys();
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
    StatusBarTask* m_transmitTask = nullptr;
    TrayController* m_tray = nullptr;
    ShortcutFilter* m_shortcuts = nullptr;

    QTimer m_stopTimer;
    QTimer m_blink;
    std::map<SessionTimer, QTimer*> m_timers;
    SessionPresenter m_presenter{*this};
    bool m_closing = false;
};

}  // namespace sonaro
