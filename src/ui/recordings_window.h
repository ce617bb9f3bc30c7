#pragma once

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recordings/recording_actions.h"
#include "recordings/recording_filter.h"
#include "recordings/recording_length_cache.h"
#include "recordings/recording_scanner.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeView;

namespace sonaro {

class FoundTimesWindow;
class PlaybackEngine;
class PlayerWindow;
class ProgramLog;
class Prompter;
class RecordingFileProvider;
class RecordingsModel;
class SettingsStore;
class SpeechEngines;
class SpeechSearchPage;
class UiDispatcher;
class WaveOutDeviceList;

// "Find and Play Recordings": the recordings of one folder, narrowed by the filter page, sorted
// by a column, renamed in place and played through its own PlayerWindow. Scans run on the
// scanner's worker and fill the list batch by batch; a watcher on the folder adds, updates and
// drops single files while the window is open, without a rescan.
//
// User-interface thread. Created for one opening; its settings are stored when it closes.
class RecordingsWindow final : public QMainWindow, private RecordingScanListener {
    Q_OBJECT

  public:
    static constexpr const char* kErrorInPath = "Error in Path";
    // Change notices come in bursts while a file is written: one refresh per pause, so a
    // recording being made is measured again when it finishes, not at every write.
    static constexpr int kRefreshDelayMs = 500;

    // `outputFolder` is the folder new recordings go to: the default recordings folder.
    // `lengthCacheFile` keeps the MP3 lengths between openings (empty: for this opening only).
    RecordingsWindow(PlaybackEngine& engine, WaveOutDeviceList& outputs, SettingsStore& settings,
                     Prompter& prompter, UiDispatcher& dispatcher, std::string outputFolder,
                     std::string lengthCacheFile, QWidget* parent = nullptr);
    ~RecordingsWindow() override;

    // Rescans the chosen folder with the filter page's criteria.
    void Scan();
    // The engines the "Speech Search" page offers; without them it has none.
    void SetSpeechEngines(SpeechEngines& engines, ProgramLog* log);

    // The file of the row: its folder, name and format, else each recording extension in turn;
    // kErrorInPath when none exists.
    std::string RecordingFilePath(int row) const;

    // What the action commands work with; without them those commands stay disabled.
    struct ActionServices {
        RecordingActions* actions = nullptr;
        // Opens the e-mail sending dialog for the file, owned by the window.
        std::function<void(const std::string& file, QWidget* owner)> sendEmail;
    };
    void SetActionServices(ActionServices services);
    // The existing files of the selected items, each item's in list order.
    std::vector<std::string> SelectedRecordingFiles() const;

    // Hiding a column sets the bit of its index in the hidden-column mask, remembers its width,
    // makes it 0 wide and moves the hidden columns to the front of the column order; the user
    // cannot widen it. Showing it gives back the remembered width.
    void SetColumnHidden(RecordingColumn column, bool hidden);
    std::uint32_t HiddenColumns() const { return m_hiddenColumns; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnRecordingsFound(std::vector<RecordingItem> items) override;
    void OnScanProgress(int done, int total) override;
    void OnScanFinished() override;

    void buildMenus();
    QWidget* buildFolderPage();
    QWidget* buildFilterPage();
    QWidget* buildPlayPage();
    void loadSettings();
    void storeSettings();
    std::string chosenFolder() const;
    RecordingFilter readFilter();
    void writeFilter(const RecordingFilter& filter);
    void updateEnabling();
    void showCount();
    void sortBy(int column);
    void applySort();
    void browse(QLineEdit* field);
    bool renameRecording(const RecordingItem& item, const std::string& newName);
    int selectedRow() const;
    // Plays the selected recording from `offsetMs`; without an offset a recording with found
    // times opens the FoundTimesWindow instead.
    void play(int speed, std::int64_t offsetMs = -1);
    void runUpdate();
    void showFoundTimes(bool open);
    void closePlayer();
    void watchFolder(const std::string& folder);
    void refreshChanged();
    void keepHiddenColumnsShut(int column, int newWidth);

    // Recording actions (recordings_window_actions.cpp).
    std::vector<int> selectedRows() const;
    void updateActionEnabling();
    void deleteSelected();
    void saveSelected();
    void emailSelected();
    void backupSelected();

    PlaybackEngine& m_engine;
    WaveOutDeviceList& m_outputs;
    SettingsStore& m_settings;
    Prompter& m_prompter;
    RecordingLengthCache m_lengths;
    RecordingScanner m_scanner;

    RecordingsModel* m_model = nullptr;
    QTreeView* m_list = nullptr;
    QTabWidget* m_pages = nullptr;
    QPushButton* m_update = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;

    QRadioButton* m_useDefault = nullptr;
    QRadioButton* m_useOther = nullptr;
    QLineEdit* m_defaultFolder = nullptr;
    QLineEdit* m_otherFolder = nullptr;
    QToolButton* m_browseDefault = nullptr;
    QToolButton* m_browseOther = nullptr;

    QCheckBox* m_periodOn = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QComboBox* m_durationMode = nullptr;
    QLineEdit* m_hours = nullptr;
    QLineEdit* m_minutes = nullptr;
    QLineEdit* m_seconds = nullptr;
    QCheckBox* m_textOn = nullptr;
    QComboBox* m_textColumn = nullptr;
    QLineEdit* m_text = nullptr;

    QComboBox* m_playDevice = nullptr;
    QLineEdit* m_backStep = nullptr;
    QSpinBox* m_slowSpeed = nullptr;
    QSpinBox* m_fastSpeed = nullptr;

    QAction* m_playAction = nullptr;
    QAction* m_renameAction = nullptr;
    QAction* m_updateAction = nullptr;
    // The actions that need a selection and the action services.
    std::vector<QAction*> m_selectionActions;
    ActionServices m_actionServices;
    // The row to select again once the rescan after a deletion has finished.
    int m_reselectRow = -1;

    std::unique_ptr<RecordingFileProvider> m_provider;
    std::unique_ptr<PlayerWindow> m_player;
    SpeechSearchPage* m_speechPage = nullptr;
    FoundTimesWindow* m_foundTimes = nullptr;

    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_refreshTimer = nullptr;
    // The folder and filter of the last scan, which the watcher's single-file updates follow.
    std::string m_folder;
    RecordingFilter m_filter;
    // Size and modification time of every file looked at, by path.
    std::map<std::string, std::pair<std::uint64_t, std::int64_t>> m_known;
    bool m_scanning = false;
    bool m_refreshPending = false;

    int m_sortColumn = 0;
    bool m_ascending = true;

    std::uint32_t m_hiddenColumns = 0;
    std::array<int, kRecordingColumnCount> m_shownWidths{};
};

}  // namespace sonaro
