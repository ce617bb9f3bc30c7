// The recordings window's speech search: the page's enabling, a search of the selected recording
// with a scripted engine, the found times in the list and the FoundTimesWindow leading to the
// player at the back step before a chosen time.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "platform/qt_ui_dispatcher.h"
#include "recordings/playback_engine.h"
#include "settings/setting_names.h"
#include "support/recording_maker.h"
#include "support/scripted_prompter.h"
#include "support/scripted_speech.h"
#include "support/scripted_wave_out.h"
#include "support/settings_home.h"
#include "ui/found_times_window.h"
#include "ui/player_window.h"
#include "ui/recordings_window.h"
#include "ui/speech_search_page.h"

namespace sonaro {

class SpeechSearchPageTest : public QObject {
    Q_OBJECT

  private:
    test::SettingsHome home;
    std::string folder = home.path() + "/recordings";
    QtUiDispatcher dispatcher;
    test::ScriptedWaveOutList outputs{{"Speakers"}};
    PlaybackEngine engine{outputs, dispatcher};
    test::ScriptedPrompter prompter;
    test::ScriptedSpeechEngines engines;
    std::unique_ptr<RecordingsWindow> window;

    template <typename Part>
    Part* part(const char* name) const {
        return window->findChild<Part*>(QLatin1String(name));
    }
    QString status() const { return part<QLabel>("statusText")->text(); }
    QString foundAt() const {
        return part<QTreeView>("recordings")
            ->model()
            ->index(0, static_cast<int>(RecordingColumn::KeywordFoundAt))
            .data()
            .toString();
    }
    void open() {
        window = std::make_unique<RecordingsWindow>(engine, outputs, home.settings, prompter,
                                                    dispatcher, folder, "");
        window->show();
        QTRY_VERIFY(status().endsWith(QLatin1String("found")));
        part<QTabWidget>("pages")->setCurrentIndex(2);
        part<QCheckBox>("keywordsOn")->setChecked(true);
        part<QLineEdit>("keywords")->setText(QStringLiteral("yes, no"));
    }
    void search() {
        QTest::mouseClick(part<QPushButton>("update"), Qt::LeftButton);
        QTRY_VERIFY(status().startsWith(QLatin1String("Speech Search Complete.")));
    }

  private slots:
    void initTestCase() {
        std::filesystem::create_directory(folder);
        QVERIFY(test::RecordingMaker().Make(folder + "/long.wav", 126));
        engines.script = {{65400, "Yes please"}, {125000, "UHno"}};
    }

    void withoutEnginesNothingIsSearched() {
        open();
        QTest::mouseClick(part<QPushButton>("update"), Qt::LeftButton);
        QCOMPARE(prompter.shown().size(), std::size_t{1});
        QCOMPARE(prompter.shown().back().text, std::string(SpeechSearchPage::kNoEngineText));
    }

    void searchesTheSelectionAndPlaysAFoundTime() {
        open();
        window->SetSpeechEngines(engines, nullptr);
        auto* update = part<QPushButton>("update");
        QCOMPARE(update->text(), QStringLiteral("Speech Search for Keywords"));
        part<QCheckBox>("keywordsOn")->setChecked(false);
        QVERIFY(!update->isEnabled());
        part<QCheckBox>("keywordsOn")->setChecked(true);
        QVERIFY(update->isEnabled());

        search();
        QCOMPARE(status(), QStringLiteral("Speech Search Complete. No Recordings were found with "
                                          "the keywords ('yes, no')."));

        auto* list = part<QTreeView>("recordings");
        list->setCurrentIndex(list->model()->index(0, 0));
        search();
        QCOMPARE(status(), QStringLiteral("Speech Search Complete. 1 Recording was found with the "
                                          "keyword('yes, no')."));
        QCOMPARE(foundAt(), QStringLiteral("0:01:05.4, 0:02:05.0"));
        QVERIFY(list->header()->sectionSize(static_cast<int>(RecordingColumn::KeywordFoundAt)) > 0);
        QCOMPARE(window->HiddenColumns(), 0u);

        part<QLineEdit>("backStep")->setText(QStringLiteral("5"));
        QTest::keyClick(list, Qt::Key_F9);
        auto* found = window->findChild<FoundTimesWindow*>();
        QVERIFY(found != nullptr && found->isVisible());
        auto* times = found->findChild<QListWidget*>(QStringLiteral("foundTimes"));
        QCOMPARE(times->count(), 2);
        times->setCurrentRow(1);
        QTest::mouseClick(found->findChild<QPushButton*>(QStringLiteral("playFound")),
                          Qt::LeftButton);
        QTRY_VERIFY(window->findChild<PlayerWindow*>() != nullptr);
        QCOMPARE(home.settings.Read(setting::kPlayOffset), 120000);
        QCOMPARE(FoundTimesWindow::StartFor(3000, "5"), std::int64_t{0});

        list->clearSelection();
        QVERIFY(!found->isVisible());
        window->close();
        QCOMPARE(home.settings.Read(setting::kFindWindowTab), 2);
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::SpeechSearchPageTest)
#include "speech_search_page_test.moc"
