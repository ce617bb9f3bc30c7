#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/curl_downloader.h"
#include "platform/freedesktop_trash.h"
#include "platform/qt_ui_dispatcher.h"
#include "recordings/playback_engine.h"
#include "recordings/recording_actions.h"
#include "settings/setting_names.h"
#include "support/component_manager.h"
#include "support/program_launcher.h"
#include "support/recording_maker.h"
#include "support/recording_page_opener.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_out.h"
#include "support/settings_home.h"
#include "support/temp_home.h"
#include "ui/audio_file_backup_dlg.h"
#include "ui/recordings_model.h"
#include "ui/recordings_window.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

namespace fs = std::filesystem;

// A recordings window with real actions over real files: take1 in WAV and MP3 with its ".vrd",
// and two other recordings.
struct ActionsRig {
    ActionsRig() {
        fs::create_directories(folder);
        for (const char* name : {"take1.wav", "take1.mp3", "other.wav", "zebra.wav"}) {
            if (!maker.Make(folder + "/" + name, 1)) {
                qFatal("cannot record %s", name);
            }
        }
        test::WriteTextFile(folder + "/take1.vrd", "data");
        window = std::make_unique<RecordingsWindow>(engine, outputs, settings, prompter, dispatcher,
                                                    folder, "");
        window->SetActionServices({&actions, {}});
        window->show();
        waitForScan();
    }

    void waitForScan() const {
        if (!QTest::qWaitFor([this] { return statusText().endsWith(QLatin1String("found")); })) {
            qFatal("the recordings window never finished its scan");
        }
    }
    QString statusText() const {
        return window->findChild<QLabel*>(QStringLiteral("statusText"))->text();
    }
    QTreeView* list() const { return window->findChild<QTreeView*>(QStringLiteral("recordings")); }
    QAction* button(const char* name) const {
        return window->findChild<QToolBar*>(QStringLiteral("toolbar"))
            ->findChild<QAction*>(QLatin1String(name));
    }
    QString name(int row) const {
        return list()
            ->model()
            ->index(row, static_cast<int>(RecordingColumn::Name))
            .data()
            .toString();
    }

    test::SettingsHome home;
    SettingsStore& settings = home.settings;
    std::string folder = home.path() + "/recordings";
    test::RecordingMaker maker;
    QtUiDispatcher dispatcher;
    test::ScriptedWaveOutList outputs{{"Speakers"}};
    PlaybackEngine engine{outputs, dispatcher};
    test::ScriptedPrompter prompter;
    test::RecordingPageOpener pages;
    FreedesktopTrash trash{home.path() + "/share"};
    CurlDownloader downloader;
    ComponentManager components{settings, downloader, prompter, pages, dispatcher, {}};
    ProgramLauncher launcher{settings, components, prompter, pages, dispatcher};
    RecordingActions actions{RecordingActionParts{
        settings, prompter, dispatcher, trash, launcher, {}, {}, home.path() + "/data", {}}};
    std::unique_ptr<RecordingsWindow> window;
};

}  // namespace

class RecordingActionsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void deleteMovesEveryFileOfTheRecordingToTheTrash() {
        ActionsRig rig;
        QAction* remove = rig.button("deleteButton");
        QVERIFY(remove != nullptr);
        QVERIFY(!remove->isEnabled());
        rig.list()->setCurrentIndex(rig.list()->model()->index(1, 0));
        QCOMPARE(rig.name(1), QString("take1"));
        QVERIFY(remove->isEnabled());

        // No: nothing moves.
        rig.prompter.answer(PromptAnswer::No);
        remove->trigger();
        QVERIFY(fs::exists(rig.folder + "/take1.wav"));

        rig.prompter.answer(PromptAnswer::Yes);
        remove->trigger();
        QCOMPARE(rig.prompter.shown().back().text, std::string(kDeleteQuestion));
        QCOMPARE(rig.prompter.shown().back().title, std::string(kDeleteTitle));
        rig.waitForScan();
        for (const char* name : {"take1.wav", "take1.mp3", "take1.vrd"}) {
            QVERIFY(!fs::exists(rig.folder + "/" + name));
            QVERIFY(fs::exists(rig.home.path() + "/share/Trash/files/" + name));
            const std::string info =
                test::ReadTextFile(rig.home.path() + "/share/Trash/info/" + name + ".trashinfo");
            QVERIFY(info.find("Path=" + rig.folder + "/" + name + "\n") != std::string::npos);
        }
        // The row of the first deleted item is selected again.
        QCOMPARE(rig.statusText(), QString("2 Recordings were found"));
        const QModelIndexList selected = rig.list()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 1);
    }

    void backupDialogKeepsItsChoicesAndRefusesAMissingFolder() {
        ActionsRig rig;
        rig.settings.Write(setting::kCompression, 2);
        LAudioFileBackupDlg dialog(rig.actions);
        auto* compression = dialog.findChild<QComboBox*>(QStringLiteral("compression"));
        QCOMPARE(compression->count(), 4);
        QCOMPARE(compression->currentText(), QString("MP3: Constant BitRate 16kb/sec"));
        QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("toFolder"))->isChecked());
        compression->setCurrentIndex(3);
        dialog.show();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(rig.prompter.shown().back().text,
                 std::string("Invalid Folder Selected For Compression"));
        QCOMPARE(rig.settings.Read(setting::kCompression), 2);

        dialog.findChild<QLineEdit*>(QStringLiteral("folder"))
            ->setText(QString::fromStdString(rig.home.path() + "/backup"));
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.settings.Read(setting::kCompression), 3);
        QCOMPARE(rig.settings.Read(setting::kCompressFolder), rig.home.path() + "/backup");
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::RecordingActionsWindowTest)
#include "recording_actions_window_test.moc"
