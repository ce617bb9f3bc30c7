#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt_ui_dispatcher.h"
#include "recordings/playback_engine.h"
#include "recordings/recording_folder.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/recording_maker.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_out.h"
#include "support/settings_home.h"
#include "threads/child_process.h"
#include "ui/player_window.h"
#include "ui/recordings_window.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

constexpr int kRate = 8000;

// A recordings window over a folder of recordings made by the program's writers, a real engine
// and scripted outputs.
struct RecordingsRig {
    RecordingsRig() {
        Record("a.b.wav", 2.5);
        Record("c.aiff", 1);
        Record("long.aif", 61.5);
        Record("tone.mp3", 3.2);
        // Noise, so that what the player writes shows where it came from.
        noise = test::RandomSamples(kRate / 2);
        Record("b.wav", 0, &noise);
    }

    void Record(const std::string& name, double seconds,
                const std::vector<InternalSample>* samples = nullptr) {
        if (!recordings.Make(folder + "/" + name, seconds, samples)) {
            qFatal("cannot record %s", name.c_str());
        }
    }

    RecordingsWindow& open() {
        window = std::make_unique<RecordingsWindow>(engine, outputs, settings, prompter, dispatcher,
                                                    folder);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()) ||
            !QTest::qWaitFor([this] { return status().endsWith(QLatin1String("found")); })) {
            qFatal("the recordings window never finished its scan");
        }
        return *window;
    }

    template <typename Part>
    Part* part(const char* name) const {
        return window->findChild<Part*>(QLatin1String(name));
    }
    QTreeView* list() const { return part<QTreeView>("recordings"); }
    QAbstractItemModel* model() const { return list()->model(); }
    QString status() const { return part<QLabel>("statusText")->text(); }
    QString text(int row, RecordingColumn column) const {
        return model()->index(row, static_cast<int>(column)).data().toString();
    }
    // The names in the list's order, joined by spaces.
    QString names() const {
        QStringList result;
        for (int row = 0; row < model()->rowCount(); ++row) {
            result << text(row, RecordingColumn::Name);
        }
        return result.join(' ');
    }
    int rowOf(const QString& name) const {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (text(row, RecordingColumn::Name) == name) {
                return row;
            }
        }
        return -1;
    }
    void select(const QString& name) { list()->setCurrentIndex(model()->index(rowOf(name), 0)); }
    void rescan() {
        QTest::mouseClick(part<QPushButton>("update"), Qt::LeftButton);
        QTRY_VERIFY(status().endsWith(QLatin1String("found")));
    }
    void clickHeader(int column) {
        QHeaderView* header = list()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    }
    PlayerWindow* player() const { return window->findChild<PlayerWindow*>(); }

    test::SettingsHome home;
    SettingsStore& settings = home.settings;
    std::string folder = home.path() + "/recordings";
    bool made = std::filesystem::create_directory(folder);
    test::RecordingMaker recordings;
    std::vector<InternalSample> noise;
    QtUiDispatcher dispatcher;
    test::ScriptedWaveOutList outputs{{"Speakers"}};
    PlaybackEngine engine{outputs, dispatcher};
    test::ScriptedPrompter prompter;
    std::unique_ptr<RecordingsWindow> window;
};

}  // namespace

class RecordingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_rig = std::make_unique<RecordingsRig>(); }
    void cleanup() { m_rig.reset(); }

    void listsEveryRecordingWithItsTexts() {
        RecordingsRig& rig = *m_rig;
        RecordingsWindow& window = rig.open();
        QCOMPARE(window.windowTitle(), QString("Find and Play Recordings"));
        QCOMPARE(rig.status(), QString("5 Recordings were found"));
        QCOMPARE(rig.names(), QString("a.b b c long tone"));
        const std::vector<RecordingFile> files = ListRecordingFiles(rig.folder);
        for (const RecordingFile& file : files) {
            const int row = rig.rowOf(QString::fromStdString(file.name));
            QVERIFY(row >= 0);
            QCOMPARE(rig.text(row, RecordingColumn::Format), QString::fromStdString(file.format));
            QCOMPARE(rig.text(row, RecordingColumn::Size),
                     QString::fromStdString(SizeText(file.size)));
            QCOMPARE(rig.text(row, RecordingColumn::DateCreated),
                     QString::fromStdString(DateText(file.created)));
        }
        QCOMPARE(rig.text(rig.rowOf("a.b"), RecordingColumn::Duration), QString("0:00:02"));
        QCOMPARE(rig.text(rig.rowOf("long"), RecordingColumn::Duration), QString("0:01:01"));
        QCOMPARE(rig.text(rig.rowOf("tone"), RecordingColumn::Duration), QString("0:00:03"));

        QHeaderView* header = rig.list()->header();
        QCOMPARE(rig.model()->headerData(3, Qt::Horizontal).toString(), QString("Date Created"));
        QCOMPARE(rig.model()->headerData(5, Qt::Horizontal).toString(),
                 QString("Keyword Found at Time"));
        QVERIFY(header->isSectionHidden(5));
        QVERIFY(!header->isSectionHidden(4));
        QCOMPARE(rig.model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));

        // Nothing is selected, so nothing can be played yet; the later commands stay off.
        QAction* play = rig.part<QToolBar>("toolbar")->actions().first();
        QCOMPARE(play->toolTip(), QString("Play the selected recording (F9)"));
        QVERIFY(!play->isEnabled());
        rig.select("b");
        QVERIFY(play->isEnabled());
        QVERIFY(!rig.part<QToolBar>("toolbar")->actions().last()->isEnabled());

        auto* pages = rig.part<QTabWidget>("pages");
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QVERIFY(test::SaveScreenshot(window, QString("recordings_window_%1.png").arg(page)));
        }
        // The page and the play options are kept for the next opening.
        rig.part<QSpinBox>("slowSpeed")->setValue(40);
        pages->setCurrentIndex(1);
        window.close();
        QCOMPARE(rig.settings.Read(setting::kFindWindowTab), 1);
        QCOMPARE(rig.settings.Read(setting::kSlowSpeed), 40);
        QVERIFY(!rig.settings.Read(setting::kUseRecordFolder));
    }

    void filtersAndSorts() {
        RecordingsRig& rig = *m_rig;
        rig.open();
        rig.part<QComboBox>("durationMode")->setCurrentIndex(1);
        rig.part<QLineEdit>("minutes")->setText("75");
        rig.rescan();
        QCOMPARE(rig.part<QLineEdit>("minutes")->text(), QString("59"));
        QCOMPARE(rig.status(), QString("5 Recordings were found"));

        rig.part<QLineEdit>("minutes")->setText("0");
        rig.part<QLineEdit>("seconds")->setText("2");
        rig.rescan();
        QCOMPARE(rig.names(), QString("a.b b c"));

        // All three limits 0 mean any duration again.
        rig.part<QLineEdit>("seconds")->setText("0");
        rig.part<QCheckBox>("textOn")->setChecked(true);
        rig.part<QLineEdit>("findText")->setText(".ai");
        rig.part<QComboBox>("textColumn")->setCurrentIndex(2);
        rig.rescan();
        QCOMPARE(rig.part<QComboBox>("durationMode")->currentIndex(), 0);
        QVERIFY(!rig.part<QLineEdit>("hours")->isEnabled());
        QCOMPARE(rig.names(), QString("c long"));
        QCOMPARE(rig.status(), QString("2 Recordings were found"));
        rig.part<QLineEdit>("findText")->setText("long");
        rig.part<QComboBox>("textColumn")->setCurrentIndex(0);
        rig.rescan();
        QCOMPARE(rig.status(), QString("1 Recording was found"));

        rig.part<QCheckBox>("textOn")->setChecked(false);
        rig.rescan();
        // Another column keeps the direction; the same column again turns it round.
        rig.clickHeader(1);
        QCOMPARE(rig.names(), QString("b c a.b tone long"));
        rig.clickHeader(1);
        QCOMPARE(rig.names(), QString("long tone a.b c b"));
        QCOMPARE(rig.settings.Read(setting::kFindPlaySortColumn), 1);
        QVERIFY(!rig.settings.Read(setting::kFindPlayAscend));
        // A rescan keeps the stored order.
        rig.rescan();
        QCOMPARE(rig.names(), QString("long tone a.b c b"));

        // The alternative folder: its browse button only, and the choice stored at the scan.
        const std::string missing = rig.folder + "/missing";
        rig.part<QRadioButton>("useOtherFolder")->setChecked(true);
        rig.part<QLineEdit>("otherFolder")->setText(QString::fromStdString(missing));
        QVERIFY(rig.part<QToolButton>("browseOther")->isEnabled());
        QVERIFY(!rig.part<QToolButton>("browseDefault")->isEnabled());
        rig.rescan();
        QCOMPARE(rig.status(), QString("0 Recordings were found"));
        QVERIFY(rig.settings.Read(setting::kUseRecordFolder));
        QCOMPARE(rig.settings.Read(setting::kRecordFolder), missing);
    }

    void renamesInPlace() {
        RecordingsRig& rig = *m_rig;
        rig.open();
        const auto rename = [&](const QString& from, const QString& to) {
            rig.select(from);
            rig.list()->edit(rig.model()->index(rig.rowOf(from), 0));
            auto* editor = rig.list()->viewport()->findChild<QLineEdit*>();
            QVERIFY(editor != nullptr);
            editor->setText(to);
            QTest::keyClick(editor, Qt::Key_Return);
        };
        // The delegate commits an edit after the key press is handled.
        rename("b", "a.b");
        QTRY_COMPARE(rig.prompter.shown().size(), std::size_t(1));
        QCOMPARE(rig.prompter.shown()[0].text, std::string(kRenameFailedText));
        QCOMPARE(rig.prompter.shown()[0].title, std::string("Warning"));
        QVERIFY(rig.rowOf("b") >= 0);
        QVERIFY(std::filesystem::exists(rig.folder + "/b.wav"));

        rename("b", "renamed");
        QTRY_VERIFY(rig.rowOf("renamed") >= 0);
        QCOMPARE(rig.prompter.shown().size(), std::size_t(1));
        QVERIFY(rig.rowOf("b") < 0);
        QVERIFY(std::filesystem::exists(rig.folder + "/renamed.wav"));
        QVERIFY(!std::filesystem::exists(rig.folder + "/b.wav"));
        // The watcher sees the rename as the same recording, not as a new one.
        QTest::qWait(RecordingsWindow::kRefreshDelayMs * 3);
        QCOMPARE(rig.model()->rowCount(), 5);
    }

    void playsTheSelectedRecording() {
        RecordingsRig& rig = *m_rig;
        RecordingsWindow& window = rig.open();
        QVERIFY(rig.player() == nullptr);
        rig.select("b");
        QCOMPARE(window.RecordingFilePath(rig.rowOf("b")), rig.folder + "/b.wav");
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(rig.list(), Qt::Key_F9);
        PlayerWindow* player = rig.player();
        QVERIFY(player != nullptr);
        QVERIFY(player->isVisible());
        QCOMPARE(rig.settings.Read(setting::kCurrentSpeed), 100);
        QCOMPARE(player->findChild<QLineEdit*>("name")->text(), QString("b"));
        const std::vector<std::int16_t> expected = test::Pcm16Of(rig.noise);
        QTRY_COMPARE(rig.outputs.script().snapshot().samples, expected);
        QVERIFY(test::SaveScreenshot(*player, "recordings_player_window.png"));

        // Space reaches the open player before the list.
        QTest::keyClick(rig.list(), Qt::Key_Space);
        QVERIFY(player->findChild<QToolButton*>("pause")->isChecked());
        QVERIFY(rig.engine.IsStopped());

        // Offscreen, the player keeps the activation until it closes.
        QTest::keyClick(player, Qt::Key_Return);
        QVERIFY(!player->isVisible());
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(rig.list(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(rig.settings.Read(setting::kCurrentSpeed), rig.settings.Read(setting::kSlowSpeed));
        QVERIFY(rig.player() != nullptr && rig.player()->isVisible());

        // A rescan closes the player.
        rig.rescan();
        QVERIFY(rig.player() == nullptr);
    }

    void showsRecordingsThatAppearWhileOpen() {
        RecordingsRig& rig = *m_rig;
        RecordingsWindow& window = rig.open();
        std::filesystem::copy_file(rig.folder + "/b.wav", rig.folder + "/new take.wav");
        QTRY_COMPARE(rig.status(), QString("6 Recordings were found"));
        QCOMPARE(rig.names(), QString("a.b b c long new take tone"));
        QCOMPARE(rig.text(rig.rowOf("new take"), RecordingColumn::Duration), QString("0:00:00"));
        rig.Record("later.aiff", 2);
        QTRY_COMPARE(rig.status(), QString("7 Recordings were found"));
        QCOMPARE(rig.text(rig.rowOf("later"), RecordingColumn::Duration), QString("0:00:02"));
        std::filesystem::remove(rig.folder + "/a.b.wav");
        QCOMPARE(window.RecordingFilePath(rig.rowOf("a.b")),
                 std::string(RecordingsWindow::kErrorInPath));
        QTRY_COMPARE(rig.status(), QString("6 Recordings were found"));
        QVERIFY(rig.rowOf("a.b") < 0);
    }

  private:
    std::unique_ptr<RecordingsRig> m_rig;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::RecordingsWindowTest)
#include "recordings_window_test.moc"
