#include "ui/speech_search_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "recordings/speech_keywords.h"
#include "recordings/speech_recognizer.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/prompter.h"

namespace sonaro {

SpeechSearchPage::SpeechSearchPage(SettingsStore& settings, Prompter& prompter,
                                   UiDispatcher& dispatcher, Hooks hooks, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_prompter(prompter),
      m_dispatcher(dispatcher),
      m_hooks(std::move(hooks)) {
    m_keywordsOn = new QCheckBox(QStringLiteral("Search for Keywords"));
    m_keywordsOn->setObjectName(QStringLiteral("keywordsOn"));
    m_keywords = new QLineEdit;
    m_keywords->setObjectName(QStringLiteral("keywords"));
    m_keywords->setPlaceholderText(QStringLiteral("yes, no; maybe"));
    m_engine = new QComboBox;
    m_engine->setObjectName(QStringLiteral("speechEngine"));
    m_profile = new QComboBox;
    m_profile->setObjectName(QStringLiteral("speakerProfile"));
    m_stop = new QPushButton(QStringLiteral("Stop Searching"));
    m_stop->setObjectName(QStringLiteral("stopSearching"));
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("searchProgress"));
    m_progress->setRange(0, 1000);
    m_progressText = new QLabel;
    m_progressText->setObjectName(QStringLiteral("searchProgressText"));

    auto* keywords = new QHBoxLayout;
    keywords->addWidget(m_keywordsOn);
    keywords->addWidget(m_keywords, 1);
    auto* progress = new QHBoxLayout;
    progress->addWidget(m_stop);
    progress->addWidget(m_progressText);
    progress->addWidget(m_progress, 1);
    auto* form = new QFormLayout(this);
    form->addRow(keywords);
    form->addRow(QStringLiteral("Speech Engine"), m_engine);
    form->addRow(QStringLiteral("Use Speaker Profile"), m_profile);
    form->addRow(progress);
    m_progress->hide();

    connect(m_keywordsOn, &QCheckBox::toggled, this, [this] {
        updateEnabling();
        emit stateChanged();
    });
    connect(m_engine, &QComboBox::currentIndexChanged, this, &SpeechSearchPage::fillProfiles);
    connect(m_stop, &QPushButton::clicked, this, &SpeechSearchPage::Stop);
    updateEnabling();
}

SpeechSearchPage::~SpeechSearchPage() {
    m_search.reset();
}

void SpeechSearchPage::SetEngines(SpeechEngines& engines, ProgramLog* log) {
    m_search = std::make_unique<SpeechSearch>(m_dispatcher, engines, log);
    m_engines = &engines;
    const QSignalBlocker blocker(m_engine);
    m_engine->clear();
    for (const SpeechEngineInfo& engine : engines.List()) {
        m_engine->addItem(QString::fromStdString(engine.language + " - " + engine.name));
    }
    const int stored = m_settings.Read(setting::kSpeechEngine);
    m_engine->setCurrentIndex(stored < m_engine->count() ? stored : 0);
    fillProfiles();
    if (m_engine->currentIndex() == stored) {
        const int profile =
            m_profile->findText(QString::fromStdString(m_settings.Read(setting::kSpeechSpeaker)));
        m_profile->setCurrentIndex(std::max(profile, 0));
    }
    updateEnabling();
}

bool SpeechSearchPage::keywordsTicked() const {
    return m_keywordsOn->isChecked();
}

void SpeechSearchPage::fillProfiles() {
    m_profile->clear();
    if (m_engines == nullptr || m_engine->currentIndex() < 0) {
        return;
    }
    for (const std::string& profile : m_engines->SpeakerProfiles(m_engine->currentIndex())) {
        m_profile->addItem(QString::fromStdString(profile));
    }
    updateEnabling();
}

void SpeechSearchPage::updateEnabling() {
    const bool ticked = m_keywordsOn->isChecked();
    m_keywords->setEnabled(ticked);
    m_profile->setEnabled(ticked && m_engine->count() > 0);
    m_stop->setEnabled(m_searching);
}

void SpeechSearchPage::StoreSettings() {
    if (m_engine->currentIndex() >= 0) {
        m_settings.Write(setting::kSpeechEngine, m_engine->currentIndex());
        m_settings.Write(setting::kSpeechSpeaker, m_profile->currentText().toStdString());
    }
}

void SpeechSearchPage::Start() {
    m_hooks.status(QString::fromLatin1(kSearchingText));
    if (m_search == nullptr || m_engine->currentIndex() < 0) {
        m_prompter.ShowMessage({kNoEngineText, "Speech Search", PromptButtons::Ok,
                                PromptIcon::Error, PromptAnswer::Ok});
        return;
    }
    std::vector<Target> targets = m_hooks.selection();
    SpeechSearchRequest request;
    request.keywordText = m_keywords->text().toStdString();
    request.keywords = SplitKeywords(request.keywordText);
    if (request.keywords.empty()) {
        m_hooks.status({});
        return;
    }
    m_search->Cancel();
    StoreSettings();
    for (std::size_t index = 0; index < targets.size(); ++index) {
        request.items.push_back({static_cast<int>(index), targets[index].path});
    }
    request.engine = m_engine->currentIndex();
    request.profile = m_profile->currentText().toStdString();
    m_targets = std::move(targets);
    m_keywordText = request.keywordText;
    m_unknown.clear();
    m_searching = true;
    m_progress->setValue(0);
    m_progress->show();
    m_progressText->clear();
    updateEnabling();
    emit stateChanged();
    m_search->Search(std::move(request), this);
}

void SpeechSearchPage::Stop() {
    if (m_search != nullptr) {
        m_search->Cancel();
    }
    m_hooks.status({});
    endSearch();
}

void SpeechSearchPage::endSearch() {
    m_searching = false;
    m_progress->hide();
    m_progressText->clear();
    updateEnabling();
    emit stateChanged();
}

void SpeechSearchPage::OnKeywordFound(int item, std::int64_t ms) {
    const Target& target = m_targets[static_cast<std::size_t>(item)];
    m_hooks.foundTime(target.name, target.format, FoundTimeText(ms));
}

void SpeechSearchPage::OnUnknownKeywords(const std::vector<std::string>& words) {
    m_unknown = words;
}

void SpeechSearchPage::OnSearchProgress(int done, int total, int permille) {
    m_progressText->setText(QStringLiteral("Recording %1 of %2").arg(done + 1).arg(total));
    m_progress->setValue(permille);
}

void SpeechSearchPage::OnSearchComplete(const SpeechSearchSummary& summary) {
    endSearch();
    if (!summary.engineError.empty()) {
        m_hooks.status({});
        m_prompter.ShowError("The speech engine could not be started: " + summary.engineError + ".",
                             "Speech Search");
        return;
    }
    QString text = QString::fromStdString(SpeechSearchCompleteText(summary.found, m_keywordText));
    if (summary.skipped > 0) {
        text += QStringLiteral(" %1 could not be read.").arg(summary.skipped);
    }
    if (!m_unknown.empty()) {
        std::string words;
        for (const std::string& word : m_unknown) {
            words += (words.empty() ? "" : ", ") + word;
        }
        text += QStringLiteral(" Not in the engine's dictionary: %1.")
                    .arg(QString::fromStdString(words));
    }
    m_hooks.status(text);
}

}  // namespace sonaro
