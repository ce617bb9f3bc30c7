#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recordings/speech_search.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace sonaro {

class ProgramLog;
class Prompter;
class SettingsStore;
class SpeechEngines;
class UiDispatcher;

// The recordings window's "Speech Search" page: the keywords, the engine and speaker profile
// lists, "Stop Searching" and the progress of a search. The window starts the search (its main
// button or F8 while "Search for Keywords" is ticked) and receives the found times.
//
// User-interface thread.
class SpeechSearchPage final : public QWidget, private SpeechSearchListener {
    Q_OBJECT

  public:
    static constexpr const char* kNoEngineText =
        "You do not have a speech engine selected to search with.";
    static constexpr const char* kSearchingText = "Searching.... please wait";

    // A recording of the list to search: its row's name and format, and its file.
    struct Target {
        std::string name;
        std::string format;
        std::string path;
    };
    struct Hooks {
        // The selected recordings.
        std::function<std::vector<Target>()> selection;
        // A keyword was found in the recording of that name and format at the time text.
        std::function<void(const std::string& name, const std::string& format,
                           const std::string& time)>
            foundTime;
        // A text for the window's status bar.
        std::function<void(const QString& text)> status;
    };

    SpeechSearchPage(SettingsStore& settings, Prompter& prompter, UiDispatcher& dispatcher,
                     Hooks hooks, QWidget* parent = nullptr);
    ~SpeechSearchPage() override;

    // Fills the engine list; without engines the list stays empty and no search starts.
    void SetEngines(SpeechEngines& engines, ProgramLog* log);

    bool keywordsTicked() const;
    bool isSearching() const { return m_searching; }
    // Stops a search still running, then searches the selected recordings.
    void Start();
    void Stop();
    // The engine and speaker choices.
    void StoreSettings();

  signals:
    // The box was ticked or cleared, or a search started or ended.
    void stateChanged();

  private:
    void OnKeywordFound(int item, std::int64_t ms) override;
    void OnUnknownKeywords(const std::vector<std::string>& words) override;
    void OnSearchProgress(int done, int total, int permille) override;
    void OnSearchComplete(const SpeechSearchSummary& summary) override;

    void fillProfiles();
    void updateEnabling();
    void endSearch();

    SettingsStore& m_settings;
    Prompter& m_prompter;
    UiDispatcher& m_dispatcher;
    Hooks m_hooks;
    SpeechEngines* m_engines = nullptr;
    std::unique_ptr<SpeechSearch> m_search;

    QCheckBox* m_keywordsOn = nullptr;
    QLineEdit* m_keywords = nullptr;
    QComboBox* m_engine = nullptr;
    QComboBox* m_profile = nullptr;
    QPushButton* m_stop = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_progressText = nullptr;

    // The search running: its recordings by item index, its keyword text and what it met.
    std::vector<Target> m_targets;
    std::string m_keywordText;
    std::vector<std::string> m_unknown;
    bool m_searching = false;
};

}  // namespace sonaro
