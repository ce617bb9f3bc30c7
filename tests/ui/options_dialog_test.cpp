#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/application.h"
#include "app/window_commands.h"
#include "options_fixture.h"
#include "ui/collapsible_panel.h"
#include "ui/general_options_page.h"
#include "ui/ldb_edit.h"
#include "ui/main_window.h"
#include "ui/naming_dialogs.h"
#include "ui/options_dialog.h"
#include "ui/output_options_page.h"
#include "ui/press_key_dialog.h"
#include "ui/qt_key_codes.h"
#include "ui/record_options_page.h"
#include "ui/status_display.h"
#include "window_rig.h"

namespace sonaro {
class OptionsDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_fixture = std::make_unique<test::OptionsFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void pagesInOrderAndOkWithoutTouchingWritesNothing() {
        OptionsDialog dialog(m_fixture->services, OptionsDialog::kGeneral);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Sonaro Options"));
        QCOMPARE(dialog.tabs()->currentIndex(), 3);
        const QStringList titles = {"Record", "Output", "Transmit", "General", "Hot-Keys"};
        for (int i = 0; i < titles.size(); ++i) {
            QCOMPARE(dialog.tabs()->tabText(i), titles[i]);
            dialog.tabs()->setCurrentIndex(i);
        }
        QVERIFY(test::Accepts(dialog));
        QCOMPARE(m_fixture->backend.changes, 0);
        QVERIFY(!m_fixture->autostart.IsEnabled());
    }

    void screenshotsOfEveryPage() {
        OptionsDialog dialog(m_fixture->services, OptionsDialog::kRecord);
        dialog.resize(560, 560);
        dialog.show();
        const char* names[] = {"options_record", "options_output", "options_transmit",
                               "options_general", "options_hotkeys"};
        for (int i = 0; i < OptionsDialog::kPageCount; ++i) {
            dialog.tabs()->setCurrentIndex(i);
            QVERIFY(test::SaveScreenshot(dialog, QString(names[i]) + ".png"));
        }
    }

    void recordPageEnablingAndMaximumTimeBorders() {
        auto [dialog, page] = m_fixture->showPage<RecordOptionsPage>(OptionsDialog::kRecord);
        QCOMPARE(page->deviceList()->count(), 3);
        QCOMPARE(page->deviceList()->itemText(0), QStringLiteral("[Default Sound In]"));
        page->deviceList()->setCurrentIndex(1);
        QCOMPARE(page->channelList()->count(), 3);
        QVERIFY(!page->hours()->isEnabled());
        QVERIFY(!page->voiceLevel()->isEnabled());
        auto* preRoll = page->findChild<QCheckBox*>(QStringLiteral("preRoll"));
        auto* preRollMs = page->findChild<QSpinBox*>(QStringLiteral("preRollMs"));
        auto* hangMs = page->findChild<QSpinBox*>(QStringLiteral("hangMs"));
        QVERIFY(preRoll && preRollMs && hangMs);
        QVERIFY(!preRoll->isEnabled() && !hangMs->isEnabled());
        page->voiceActivate()->setChecked(true);
        QVERIFY(page->voiceLevel()->isEnabled());
        QVERIFY(hangMs->isEnabled() && !preRollMs->isEnabled());
        QCOMPARE(hangMs->value(), 5000);
        QCOMPARE(preRollMs->value(), 300);
        QCOMPARE(preRollMs->minimum(), 100);
        QCOMPARE(preRollMs->maximum(), 1000);
        preRoll->setChecked(true);
        QVERIFY(preRollMs->isEnabled());
        page->limitTime()->setChecked(true);
        QVERIFY(page->hours()->isEnabled() && page->stopAtMax()->isEnabled());

        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(test::ShownBalloon::Current(),
                 (test::ShownBalloon{"Invalid time",
                                     "Maximum recording time must be one or more seconds.",
                                     page->seconds()}));
        page->hours()->setValue(2);
        page->seconds()->setValue(1);
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(
            test::ShownBalloon::Current(),
            (test::ShownBalloon{"Invalid time", "Maximum recording time must be two hours or less.",
                                page->hours()}));
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "MaxTimeHours", "-"), "-");

        page->seconds()->setValue(0);
        page->newAtMax()->setChecked(true);
        QVERIFY(test::Accepts(*dialog));
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "MaxTimeHours", 0), 2L);
        QVERIFY(!m_fixture->settings.ReadSettingBool("Settings", "StopReachMaxTime", true));
        QVERIFY(m_fixture->settings.ReadSettingBool("Settings", "VoiceActivate", false));
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "VoicePreRollMs", 0), 300L);
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "VoiceHangMs", "-"), "-");
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "RecordDevice", ""),
                 "Built-in Microphone");
    }

    void outputPatternRulesAndViewSample() {
        auto [dialog, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        QVERIFY(page->usePattern()->isChecked());
        QCOMPARE(page->patternField()->text(), QStringLiteral("Untitled %autonumber%"));
        const std::pair<QString, QString> refused[] = {
            {"", "File name format is invalid. Please try again."},
            {"a %autonumber% b",
             "File name format contains \"%autonumber%\" are not allowed to have post string. "
             "Please try again."},
            {"plain",
             "File name format must contain either \"%autonumber%\" or \"%SS%\". Please "
             "try again."}};
        for (const auto& [pattern, text] : refused) {
            page->patternField()->setText(pattern);
            QVERIFY(!test::Accepts(*dialog));
            QCOMPARE(test::ShownBalloon::Current(),
                     (test::ShownBalloon{"Invalid format", text, page->patternField()}));
        }
        page->patternField()->setText("Take %autonumber%");
        QTest::mouseClick(page->viewSample(), Qt::LeftButton);
        QCOMPARE(m_fixture->prompter.shown().back().title, "Sample File Name");
        QCOMPARE(m_fixture->prompter.shown().back().text, "Take 001");
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "AutoNumber", 1), 2L);
        QTest::mouseClick(page->resetAutoNumber(), Qt::LeftButton);
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "AutoNumber", 1), 0L);

        page->promptForName()->setChecked(true);
        QVERIFY(!page->patternField()->isEnabled() && !page->resetAutoNumber()->isEnabled());
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(m_fixture->settings.ReadSettingBool("Settings", "PromptForName", false));
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "FileNameFormat", "-"), "-");
    }

    void outputFolderCases() {
        auto [dialog, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        const std::string base = m_fixture->home.path();
        auto& prompter = m_fixture->prompter;
        const auto lastText = [&] { return prompter.shown().back().text; };

        page->folderField()->setText("");
        dialog->accept();
        QCOMPARE(lastText(), "Output folder is invalid. Please try again.");
        QCOMPARE(prompter.shown().back().title, "Invalid output folder");

        page->folderField()->setText(QString::fromStdString(base + "/new"));
        prompter.answer(PromptAnswer::No);
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(prompter.shown().back().title, "Create Folder");

        page->folderField()->setText("relative");
        prompter.answer(PromptAnswer::Yes);
        dialog->accept();
        QCOMPARE(lastText(), "Cannot create the specified folder. Please enter a valid folder.");

        page->folderField()->setText(QString::fromStdString(base + "/missing/child"));
        prompter.answer(PromptAnswer::Yes);
        dialog->accept();
        QCOMPARE(lastText(), "Cannot create the specified folder. Please try again.");
        QCOMPARE(dialog->focusWidget(), page->folderField());

        page->folderField()->setText(QString::fromStdString(base + "/new"));
        prompter.answer(PromptAnswer::Yes);
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(std::filesystem::is_directory(base + "/new"));
        QCOMPARE(m_fixture->settings.ReadSettingString("FindPlay", "DefaultRecordFolder", ""),
                 base + "/new");
    }

    void choosingMp3EnsuresTheEncoder() {
        auto [dialog, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        QCOMPARE(page->formatList()->itemText(1), QStringLiteral("Mp3"));
        page->formatList()->setCurrentIndex(1);
        m_fixture->componentInstalls = false;
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(m_fixture->ensured, std::vector<std::string>{"mp3el"});
        QCOMPARE(m_fixture->formats.GetOutputFormat(), OutputFormat::Wav);
        m_fixture->componentInstalls = true;
        QVERIFY(test::Accepts(*dialog));
        QCOMPARE(m_fixture->formats.GetOutputFormat(), OutputFormat::Mp3);
    }

    void generalPageIntervalAndLogonEntry() {
        auto [dialog, page] = m_fixture->showPage<GeneralOptionsPage>(OptionsDialog::kGeneral);
        QVERIFY(!page->intervalField()->isEnabled());
        page->intervalTone()->setChecked(true);
        page->intervalField()->clear();
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(test::ShownBalloon::Current(),
                 (test::ShownBalloon{"Invalid Interval", "Please enter a valid interval (in secs).",
                                     page->intervalField()}));

        page->intervalField()->setText("45");
        page->runAtLogon()->setChecked(true);
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(m_fixture->autostart.IsEnabled());
        std::ifstream entry(m_fixture->autostart.entryPath());
        const std::string text((std::istreambuf_iterator<char>(entry)), {});
        QVERIFY(text.find("Exec=\"/opt/sonaro/bin/sonaro\" -logon") != std::string::npos);
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "IntervalSecs", 0), 45L);
    }

    void logonEntryThatCannotBeWrittenGivesAccessError() {
        // A file where the autostart folder belongs: the entry cannot be made, even by root.
        std::filesystem::create_directories(m_fixture->paths.configHome);
        std::ofstream(m_fixture->paths.configHome + "/autostart") << "x";
        OptionsDialog dialog(m_fixture->services, OptionsDialog::kGeneral);
        dialog.show();
        dialog.page<GeneralOptionsPage>(OptionsDialog::kGeneral)->runAtLogon()->setChecked(true);
        QVERIFY(!test::Accepts(dialog));
        const auto& box = m_fixture->prompter.shown().back();
        QCOMPARE(box.title, "Access Error");
        QCOMPARE(box.icon, PromptIcon::Error);
    }

    void folderPickerRefusesAFullVolume() {
        const std::string chosen = m_fixture->home.path() + "/picked";
        std::filesystem::create_directories(chosen);
        m_fixture->noFreeSpace = true;
        int shown = 0;
        std::function<void(QFileDialog*)> pick = [&](QFileDialog* dialog) {
            ++shown;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Locate output folder:"));
            if (shown == 1) {
                dialog->setDirectory(QString::fromStdString(chosen));
                static_cast<QDialog*>(dialog)->accept();
                test::WhenShown<QFileDialog>(pick);
            } else {
                dialog->reject();
            }
        };
        test::WhenShown<QFileDialog>(pick);
        const auto result = BrowseOutputFolder(nullptr, m_fixture->naming, m_fixture->prompter,
                                               m_fixture->home.path());
        QVERIFY(!result);
        QCOMPARE(shown, 2);
        QCOMPARE(m_fixture->prompter.shown().back().title, "No free space");

        m_fixture->noFreeSpace = false;
        test::WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            dialog->setDirectory(QString::fromStdString(chosen));
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto picked = BrowseOutputFolder(nullptr, m_fixture->naming, m_fixture->prompter,
                                               m_fixture->home.path());
        QCOMPARE(QString::fromStdString(picked.value_or("<none>")), QString::fromStdString(chosen));
    }

    void namePromptGivesTheTypedName() {
        test::WhenShown<QInputDialog>([](QInputDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Enter File Name"));
            QVERIFY(test::SaveScreenshot(*dialog, "name_prompt.png"));
            dialog->setTextValue(QStringLiteral("Interview: part 1?"));
            dialog->accept();
        });
        QCOMPARE(PromptForFileName(nullptr), std::optional<std::string>("Interview: part 1?"));
        test::WhenShown<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
        QVERIFY(!PromptForFileName(nullptr));
    }

    void openOptionsFromTheMainWindowRefreshesIt() {
        test::CountingCommands commands;
        Application application(m_fixture->settings, m_fixture->formats, commands);
        MainWindow window(application, m_fixture->settings);
        MainWindow::Services services;
        services.devices = &m_fixture->devices;
        services.formats = &m_fixture->formats;
        services.openOptions = [&](int page) { ShowOptions(&window, m_fixture->services, page); };
        window.SetServices(std::move(services));
        window.show();
        int shownPage = -1;
        test::WhenShown<OptionsDialog>([&](OptionsDialog* dialog) {
            shownPage = dialog->tabs()->currentIndex();
            dialog->page<OutputOptionsPage>(OptionsDialog::kOutput)
                ->formatList()
                ->setCurrentIndex(static_cast<int>(OutputFormat::Aiff));
            dialog->tabs()->setCurrentIndex(OptionsDialog::kRecord);
            auto* record = dialog->page<RecordOptionsPage>(OptionsDialog::kRecord);
            record->deviceList()->setCurrentIndex(1);
            record->channelList()->setCurrentIndex(2);
            dialog->accept();
        });
        window.presenter().OpenOptions(OptionsDialog::kOutput);
        QCOMPARE(shownPage, int(OptionsDialog::kOutput));
        const test::WindowParts parts(window);
        QCOMPARE(parts.display->formatText(), QStringLiteral("Stereo 44100 AIFF"));
        const auto input = parts.inputPanel->content()->findChildren<QComboBox*>();
        QCOMPARE(input.at(0)->currentText(), QStringLiteral("Built-in Microphone"));
        QCOMPARE(input.at(1)->currentText(), QStringLiteral("Line In"));
        const auto output = parts.outputPanel->content()->findChildren<QComboBox*>();
        QCOMPARE(output.at(0)->currentIndex(), int(OutputFormat::Aiff));
        QVERIFY(parts.inputPanel->header()->text().contains("Built-in Microphone"));
        QVERIFY(parts.outputPanel->header()->text().contains("Aiff"));

        // Another device keeps the channel where it has one.
        input.at(0)->setCurrentIndex(0);
        emit input.at(0)->activated(0);
        QCOMPARE(input.at(1)->currentText(), QStringLiteral("Line In"));
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "RecordDeviceChannel", 0), 2L);
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "RecordDevice", ""),
                 "[Default Sound In]");
    }

    // The fixed keys (Space, F5, F1, ...) act in the main window only; dialogs opened over it
    // keep them.
    void fixedKeysStayWithTheMainWindow() {
        test::CountingCommands commands;
        Application application(m_fixture->settings, m_fixture->formats, commands);
        MainWindow window(application, m_fixture->settings);
        window.show();
        const test::WindowParts parts(window);
        QSignalSpy shortcuts(parts.shortcuts, &ShortcutFilter::command);
        {
            OptionsDialog dialog(m_fixture->services, OptionsDialog::kGeneral, &window);
            dialog.show();
            QCheckBox* box = dialog.page<GeneralOptionsPage>(OptionsDialog::kGeneral)->recordTone();
            const bool ticked = box->isChecked();
            QTest::keyClick(box, Qt::Key_Space);
            QCOMPARE(box->isChecked(), !ticked);
            QTest::keyClick(box, Qt::Key_F5);
            QTest::keyClick(box, Qt::Key_F1);
            QTest::keyClick(box, Qt::Key_L, Qt::ControlModifier);
        }
        PressKeyDialog press(&window);
        press.show();
        QTest::keyClick(&press, Qt::Key_F5);
        QCOMPARE(press.key(), MakeKeyCode(0x74, 0));
        test::WhenShown<QInputDialog>([](QInputDialog* dialog) {
            QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_F5);
            dialog->reject();
        });
        QVERIFY(!PromptForFileName(&window));
        QCOMPARE(shortcuts.count(), 0);

        QTest::keyClick(parts.display, Qt::Key_F5);
        QCOMPARE(shortcuts.count(), 1);
        QCOMPARE(shortcuts.first().first().toInt(), cmd::kRecord);
    }

  private:
    std::unique_ptr<test::OptionsFixture> m_fixture;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::OptionsDialogTest)
#include "options_dialog_test.moc"
