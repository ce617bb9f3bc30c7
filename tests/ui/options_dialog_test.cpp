#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/hot_keys.h"
#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "formats/wave_format.h"
#include "net/mail_account_discovery.h"
#include "net/mail_message.h"
#include "platform/openssl_secret_cipher.h"
#include "platform/xdg_autostart.h"
#include "record/file_naming.h"
#include "settings/setting_names.h"
#include "settings/stored_password.h"
#include "support/clock.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"
#include "ui/aiff_encode_dialog.h"
#include "ui/email_send_dlg.h"
#include "ui/email_settings_dialog.h"
#include "ui/flac_encode_dialog.h"
#include "ui/format_options.h"
#include "ui/general_options_page.h"
#include "ui/hot_key_dialog.h"
#include "ui/hot_keys_page.h"
#include "ui/ldb_display.h"
#include "ui/ldb_edit.h"
#include "ui/mp3_encode_dialog.h"
#include "ui/naming_dialogs.h"
#include "ui/options_dialog.h"
#include "ui/options_services.h"
#include "ui/opus_encode_dialog.h"
#include "ui/output_options_page.h"
#include "ui/press_key_dialog.h"
#include "ui/raw_format_dialog.h"
#include "ui/record_options_page.h"
#include "ui/record_setting_dlg.h"
#include "ui/transmit_options_page.h"
#include "ui/wave_encode_dialog.h"
#include "widget_driving.h"
#include "window_rig.h"

namespace sonaro {
namespace {

// Everything the options pages need, on real settings files in a temporary home.
struct OptionsFixture {
    OptionsFixture()
        : formats(settings, paths.dataDir),
          naming(settings, clock, home.path() + "/Documents",
                 [this](const char* path, struct statvfs* info) {
                     const int result = statvfs(path, info);
                     if (noFreeSpace) {
                         info->f_bavail = 0;
                     }
                     return result;
                 }),
          devices({{"Built-in Microphone",
                    {"Front Mic", "Line In"},
                    {},
                    false,
                    nullptr,
                    0,
                    test::ScriptEnd::Stall},
                   {"USB Headset", {}, {}, false, nullptr, 0, test::ScriptEnd::Stall}}),
          cipher(paths.dataDir + "/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher),
          autostart(paths.configHome, "/opt/sonaro/bin/sonaro"),
          services{settings,
                   formats,
                   naming,
                   devices,
                   passwords,
                   autostart,
                   prompter,
                   [this](std::string_view name) {
                       ensured.emplace_back(name);
                       return componentInstalls;
                   },
                   [this] { return DiscoverDefaultMailAccount(home.path()); },
                   [this] { return mapiAvailable; },
                   {},
                   [this] { return hotKeysAvailable; }} {}
    ~OptionsFixture() { BalloonTip::HideCurrent(); }

    // The options dialog shown on page `index`, and that page.
    template <typename PageType>
    std::pair<std::unique_ptr<OptionsDialog>, PageType*> showPage(OptionsDialog::Page index) {
        auto dialog = std::make_unique<OptionsDialog>(services, index);
        dialog->show();
        PageType* page = dialog->page<PageType>(index);
        return {std::move(dialog), page};
    }

    test::SettingsHome home;
    const ProgramPaths& paths = home.paths;
    SettingsStore& settings = home.settings;
    FormatSettings formats;
    SystemClock clock;
    bool noFreeSpace = false;
    FileNaming naming;
    test::ScriptedWaveInList devices;
    OpenSslSecretCipher cipher;
    StoredPassword passwords;
    XdgAutostart autostart;
    test::ScriptedPrompter prompter;
    std::vector<std::string> ensured;
    bool componentInstalls = true;
    bool mapiAvailable = false;
    bool hotKeysAvailable = true;
    OptionsServices services;
};

// An input that plays a tone for twenty seconds.
test::ScriptedInput input(const char* name, std::vector<std::string> sources, double amplitude) {
    test::ScriptedInput in;
    in.name = name;
    in.sourceLines = std::move(sources);
    in.signal = test::ToneBetween(amplitude, 0, 600000);
    in.frames = 44100 * 20;
    return in;
}

std::vector<test::ScriptedInput> inputs() {
    test::ScriptedInput broken = input("Broken Input", {"Microphone"}, 0);
    broken.failOpen = true;
    return {input("Built-in Audio", {"Microphone"}, 0.05),
            input("USB Microphone", {"Microphone", "Line In"}, 0.6), broken};
}

constexpr KeyCode kCtrlAltR = MakeKeyCode('R', kModCtrl | kModAlt);
constexpr KeyCode kF9 = MakeKeyCode(0x78, 0);
constexpr KeyCode kShiftF10 = MakeKeyCode(0x79, kModShift);

}  // namespace

// The options dialog, its pages and the dialogs they open, the e-mail send dialog and the record
// volume dialog.
class OptionsDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_fixture = std::make_unique<OptionsFixture>();
        m_sent.clear();
        m_sendResult = SendResult::Ok;
    }
    void cleanup() { m_fixture.reset(); }

    void pagesInOrderAndOkWithoutTouchingWritesNothing() {
        const std::string settingsBefore = storedSettings();
        OptionsDialog dialog(m_fixture->services, OptionsDialog::kGeneral);
        dialog.resize(560, 560);
        dialog.show();
        QCOMPARE(dialog.tabs()->currentIndex(), 3);
        const QStringList titles = {"Record", "Output", "Transmit", "General", "Hot-Keys"};
        for (int i = 0; i < OptionsDialog::kPageCount; ++i) {
            QCOMPARE(dialog.tabs()->tabText(i), titles[i]);
            dialog.tabs()->setCurrentIndex(i);
            const QString name = "options_" + titles[i].toLower().remove('-') + ".png";
            QVERIFY(test::SaveScreenshot(dialog, name));
        }
        QVERIFY(test::Accepts(dialog));
        QVERIFY(storedSettings() == settingsBefore);
        QVERIFY(!m_fixture->autostart.IsEnabled());
    }

    void recordPageEnablingAndMaximumTimeBorders() {
        auto [dialog, page] = m_fixture->showPage<RecordOptionsPage>(OptionsDialog::kRecord);
        QCOMPARE(page->deviceList()->count(), 3);
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
        preRoll->setChecked(true);
        QVERIFY(preRollMs->isEnabled());
        page->limitTime()->setChecked(true);
        QVERIFY(page->hours()->isEnabled() && page->stopAtMax()->isEnabled());

        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid time",
                                     "Maximum recording time must be one or more seconds.",
                                     page->seconds()}));
        page->hours()->setValue(2);
        page->seconds()->setValue(1);
        QCOMPARE(
            test::RefusalOf(*dialog),
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
        // Each rule's text is checked with the naming; here, where the page shows it.
        page->patternField()->setText("plain");
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid format",
                                     "File name format must contain either \"%autonumber%\" or "
                                     "\"%SS%\". Please try again.",
                                     page->patternField()}));
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

    // The folder rules are the naming's: the page keeps a refused folder in focus, and creates
    // and stores an accepted one.
    void outputFolderIsCheckedCreatedAndStored() {
        auto [dialog, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        const std::string base = m_fixture->home.path();
        auto& prompter = m_fixture->prompter;
        page->folderField()->setText(QString::fromStdString(base + "/missing/child"));
        prompter.answer(PromptAnswer::Yes);
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(prompter.shown().back().text,
                 "Cannot create the specified folder. Please try again.");
        QCOMPARE(dialog->focusWidget(), page->folderField());

        page->folderField()->setText(QString::fromStdString(base + "/new"));
        prompter.answer(PromptAnswer::Yes);
        QVERIFY(test::Accepts(*dialog));
        QCOMPARE(prompter.shown().back().title, "Create Folder");
        QVERIFY(std::filesystem::is_directory(base + "/new"));
        QCOMPARE(m_fixture->settings.ReadSettingString("FindPlay", "DefaultRecordFolder", ""),
                 base + "/new");
    }

    void generalPageIntervalAndLogonEntry() {
        // A file where the autostart folder belongs: the entry cannot be made, even by root.
        std::filesystem::create_directories(m_fixture->paths.configHome);
        const std::string blocked = m_fixture->paths.configHome + "/autostart";
        test::WriteTextFile(blocked, "x");
        auto [dialog, page] = m_fixture->showPage<GeneralOptionsPage>(OptionsDialog::kGeneral);
        QVERIFY(!page->intervalField()->isEnabled());
        page->intervalTone()->setChecked(true);
        page->intervalField()->clear();
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid Interval", "Please enter a valid interval (in secs).",
                                     page->intervalField()}));

        page->intervalField()->setText("45");
        page->runAtLogon()->setChecked(true);
        QVERIFY(!test::Accepts(*dialog));
        QCOMPARE(m_fixture->prompter.shown().back().title, "Access Error");
        QCOMPARE(m_fixture->prompter.shown().back().icon, PromptIcon::Error);

        std::filesystem::remove(blocked);
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(m_fixture->autostart.IsEnabled());
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "IntervalSecs", 0), 45L);
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
    }

    void optionsFromTheMainWindowRefreshItAndFixedKeysStayWithIt() {
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

        // The fixed keys (Space, F5, F1, ...) act in the main window only; dialogs opened over it
        // keep them.
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

    void mp3ListsAndVariableRateChecks() {
        Mp3EncodeDialog dialog(m_fixture->formats, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_mp3.png"));
        QCOMPARE(dialog.cbrBitRate()->currentText(), QStringLiteral("128"));
        QCOMPARE(dialog.vbrMinimum()->currentText(), QStringLiteral("32"));
        QCOMPARE(dialog.vbrQuality()->currentIndex(), 4);
        QCOMPARE(dialog.channelMode()->currentText(), QStringLiteral("Joint"));
        QVERIFY(!dialog.vbrMaximum()->isEnabled() && dialog.highQuality()->isEnabled());

        dialog.variableRate()->setChecked(true);
        QVERIFY(dialog.vbrMaximum()->isEnabled() && !dialog.cbrBitRate()->isEnabled());
        dialog.vbrMinimum()->setCurrentText(QStringLiteral("16"));
        dialog.vbrMaximum()->setCurrentText(QStringLiteral("192"));
        QVERIFY(!test::Accepts(dialog));
        const auto& box = m_fixture->prompter.shown().back();
        QCOMPARE(box.title, "Sonaro Sound Recorder");
        QCOMPARE(box.icon, PromptIcon::Error);
        QVERIFY(box.text.starts_with("Your VBR Minimum and Maximum Bitrates are too far apart"));

        dialog.vbrMinimum()->setCurrentText(QStringLiteral("128"));
        dialog.vbrMaximum()->setCurrentText(QStringLiteral("64"));
        QCOMPARE(test::RefusalOf(dialog),
                 (test::ShownBalloon{
                     "", "Your VBR Maximum Bitrate cannot be smaller than the Minimum Bitrate.",
                     dialog.vbrMaximum()}));
        QCOMPARE(m_fixture->formats.LoadMp3Settings(), Mp3Settings{});

        dialog.vbrMaximum()->setCurrentText(QStringLiteral("160"));
        dialog.channelMode()->setCurrentIndex(3);
        dialog.errorProtection()->setChecked(true);
        QVERIFY(test::Accepts(dialog));
        const Mp3Settings saved = m_fixture->formats.LoadMp3Settings();
        QVERIFY(!saved.constantBitRate);
        QCOMPARE(saved.vbrMinBitRate, 128);
        QCOMPARE(saved.vbrMaxBitRate, 160);
        QCOMPARE(saved.channelMode, 3);
        QVERIFY(saved.errorProtection);
    }

    void aiffShowsDefaultsForZerosAndSaves() {
        m_fixture->formats.SaveAiffSettings({0, 0, 0});
        AiffEncodeDialog dialog(m_fixture->formats, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_aiff.png"));
        QCOMPARE(dialog.sampleRate()->currentText(), QStringLiteral("44100"));
        QCOMPARE(dialog.sampleSize()->currentText(), QStringLiteral("16"));
        QCOMPARE(dialog.channels()->currentText(), QStringLiteral("Stereo"));
        dialog.sampleRate()->setCurrentText(QStringLiteral("12345"));
        dialog.sampleSize()->setCurrentIndex(0);
        dialog.channels()->setCurrentIndex(0);
        dialog.accept();
        QCOMPARE(m_fixture->formats.LoadAiffSettings(), (AiffSettings{1, 12345, 8}));

        AiffEncodeDialog again(m_fixture->formats, m_fixture->prompter);
        again.sampleRate()->setCurrentText(QString());
        again.accept();
        QCOMPARE(m_fixture->formats.LoadAiffSettings().sampleRate, 44100);

        AiffEncodeDialog absurd(m_fixture->formats, m_fixture->prompter);
        absurd.show();
        absurd.sampleRate()->setCurrentText(QStringLiteral("999999"));
        absurd.accept();
        QVERIFY(absurd.isVisible());
        QCOMPARE(m_fixture->formats.LoadAiffSettings().sampleRate, 44100);
    }

    void flacAndOpusShowTheStoredValuesAndSave() {
        FlacEncodeDialog flac(m_fixture->formats, m_fixture->prompter);
        flac.show();
        QVERIFY(test::SaveScreenshot(flac, "format_flac.png"));
        const auto flacList = [&](const char* name) { return flac.findChild<QComboBox*>(name); };
        QCOMPARE(flacList("rate")->currentText(), QStringLiteral("44100"));
        QCOMPARE(flacList("size")->currentText(), QStringLiteral("16"));
        QCOMPARE(flacList("channels")->currentText(), QStringLiteral("Stereo"));
        QCOMPARE(flacList("level")->currentIndex(), 5);
        flacList("rate")->setCurrentText(QStringLiteral("999999"));
        flac.accept();
        QVERIFY(flac.isVisible());
        QCOMPARE(m_fixture->formats.LoadFlacSettings(), FlacSettings{});
        flacList("rate")->setCurrentText(QStringLiteral("96000"));
        flacList("size")->setCurrentIndex(1);
        flacList("channels")->setCurrentIndex(0);
        flacList("level")->setCurrentIndex(8);
        flac.accept();
        QCOMPARE(m_fixture->formats.LoadFlacSettings(), (FlacSettings{8, 24, 96000, 1}));

        OpusEncodeDialog opus(m_fixture->formats);
        opus.show();
        QVERIFY(test::SaveScreenshot(opus, "format_opus.png"));
        const auto opusList = [&](const char* name) { return opus.findChild<QComboBox*>(name); };
        QCOMPARE(opusList("bitRate")->currentText(), QStringLiteral("64"));
        QCOMPARE(opusList("application")->currentText(), QStringLiteral("Audio"));
        QCOMPARE(opusList("complexity")->currentIndex(), 10);
        opusList("bitRate")->setCurrentText(QStringLiteral("24"));
        opusList("application")->setCurrentIndex(0);
        opusList("complexity")->setCurrentIndex(3);
        opusList("channels")->setCurrentIndex(0);
        opus.accept();
        QCOMPARE(m_fixture->formats.LoadOpusSettings(), (OpusSettings{24, true, 3, 1}));
        m_fixture->formats.SaveOpusSettings({300, false, 10, 2});
        OpusEncodeDialog typed(m_fixture->formats);
        QCOMPARE(typed.findChild<QComboBox*>("bitRate")->currentText(), QStringLiteral("300"));
    }

    void rawFormatShowsStoredValuesChecksTheRateAndSaves() {
        RawFormatDialog vox(m_fixture->settings, true, m_fixture->prompter);
        vox.show();
        QVERIFY(test::SaveScreenshot(vox, "format_raw.png"));
        QCOMPARE(vox.codec()->currentText(), QStringLiteral("Dialogic ADPCM"));
        QCOMPARE(vox.sampleRate()->currentText(), QStringLiteral("8000"));
        QCOMPARE(vox.channels()->currentText(), QStringLiteral("1"));

        vox.sampleRate()->setCurrentText(QStringLiteral("5000"));
        vox.accept();
        QVERIFY(vox.isVisible());
        QCOMPARE(LoadRawFormat(m_fixture->settings, true).sampleRate, 8000);

        vox.codec()->setCurrentIndex(2);
        vox.sampleRate()->setCurrentText(QStringLiteral("196000"));
        vox.channels()->setCurrentIndex(1);
        vox.accept();
        QVERIFY(!vox.isVisible());
        const RawFormat saved = LoadRawFormat(m_fixture->settings, true);
        QCOMPARE(saved.sampleRate, 196000);
        QCOMPARE(saved.codec, 2);
        QCOMPARE(saved.channels, 2);
        QCOMPARE(vox.format().sampleRate, 196000);

        RawFormatDialog raw(m_fixture->settings, false, m_fixture->prompter);
        QCOMPARE(raw.codec()->currentText(), QStringLiteral("16 bit PCM (Intel Endian)"));
        QCOMPARE(raw.sampleRate()->currentText(), QStringLiteral("44100"));
    }

    void waveChooserPreselectsAndSaves() {
        m_fixture->formats.SaveWavFormat(MakePcmWaveFormat(44100, 1, 24));
        const CodecManager codecs;
        WaveEncodeDialog dialog(m_fixture->formats, codecs, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_wav.png"));
        QCOMPARE(dialog.codecList()->itemText(1), QStringLiteral("GSM6.10 Native"));
        QCOMPARE(dialog.codecList()->currentIndex(), 0);
        QCOMPARE(dialog.formatList()->count(), 88);
        QCOMPARE(dialog.formatList()->currentIndex(), 50);
        QCOMPARE(dialog.formatList()->itemText(12), QStringLiteral("8000 Hz, 16 Bits, Stereo"));

        dialog.codecList()->setCurrentIndex(1);
        QCOMPARE(dialog.formatList()->count(), 2);
        dialog.formatList()->setCurrentIndex(1);
        QVERIFY(test::Accepts(dialog));
        const WaveFormat saved = m_fixture->formats.LoadWavFormat();
        QCOMPARE(saved.formatTag, 0x31);
        QCOMPARE(saved.samplesPerSec, 11025u);

        WaveEncodeDialog reopened(m_fixture->formats, codecs, m_fixture->prompter);
        QCOMPARE(reopened.codecList()->currentIndex(), 1);
        QCOMPARE(reopened.formatList()->currentIndex(), 1);
    }

    void formatSettingsOpenTheChosenFormatsDialogAndMp3EnsuresItsEncoder() {
        m_fixture->services.showFormatOptions = [this](OutputFormat format, QWidget* owner) {
            return ShowFormatOptions(static_cast<int>(format), owner, m_fixture->formats,
                                     m_fixture->prompter);
        };
        auto [options, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        const std::pair<int, const char*> dialogs[] = {
            {2, "LAIFFEncodeDlg"}, {3, "FlacEncodeDlg"}, {4, "OpusEncodeDlg"}};
        for (const auto& [format, name] : dialogs) {
            page->formatList()->setCurrentIndex(format);
            QString opened;
            QTimer::singleShot(0, [&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* dialog = qobject_cast<QDialog*>(widget);
                        dialog && dialog->isVisible() && dialog != options.get()) {
                        opened = dialog->objectName();
                        dialog->reject();
                    }
                }
            });
            QTest::mouseClick(page->formatSettings(), Qt::LeftButton);
            QCOMPARE(opened, QString::fromLatin1(name));
        }

        // Choosing Mp3 ensures the encoder, and is not kept without it.
        QCOMPARE(page->formatList()->itemText(1), QStringLiteral("Mp3"));
        page->formatList()->setCurrentIndex(1);
        m_fixture->componentInstalls = false;
        QVERIFY(!test::Accepts(*options));
        QCOMPARE(m_fixture->ensured, std::vector<std::string>{"mp3el"});
        QCOMPARE(m_fixture->formats.GetOutputFormat(), OutputFormat::Wav);
        m_fixture->componentInstalls = true;
        QVERIFY(test::Accepts(*options));
        QCOMPARE(m_fixture->formats.GetOutputFormat(), OutputFormat::Mp3);
    }

    void hotKeysRefuseAKeyTwiceAndReuseADeletedSlotFirst() {
        auto [dialog, page] = m_fixture->showPage<HotKeysPage>(OptionsDialog::kHotKeys);
        QVERIFY(page->unavailableNote()->isHidden());
        QCOMPARE(page->list()->topLevelItemCount(), 0);
        QVERIFY(!page->changeButton()->isEnabled() && !page->deleteButton()->isEnabled());
        add(page, kCtrlAltR, 0);
        add(page, kF9, 3);
        add(page, kShiftF10, 4);
        QCOMPARE(page->list()->topLevelItemCount(), 3);
        QCOMPARE(page->list()->topLevelItem(0)->text(0), QStringLiteral("Ctrl+Alt+R"));
        QCOMPARE(page->list()->topLevelItem(1)->text(1), QStringLiteral("Stop"));
        QVERIFY(test::SaveScreenshot(*dialog, "options_hotkeys_filled.png"));

        // A key assigned twice is refused, but a hot key keeps its own key when changed.
        HotKeyStore store(m_fixture->settings);
        HotKeyDialog second(store, m_fixture->prompter, std::nullopt);
        second.show();
        QCOMPARE(test::RefusalOf(second),
                 (test::ShownBalloon{"Hot-key Required", "Please click here to assign the hot-key.",
                                     second.changeButton()}));
        second.setKey(kCtrlAltR);
        QCOMPARE(test::RefusalOf(second),
                 (test::ShownBalloon{"Key Already In Use",
                                     "Sorry, the key you have chosen is already in use as a "
                                     "hot-key. Please choose another key.",
                                     second.keyText()}));
        QCOMPARE(store.HotKeys().size(), std::size_t{3});
        second.reject();

        HotKeyDialog change(store, m_fixture->prompter, store.HotKeys()[0]);
        change.show();
        QCOMPARE(change.keyText()->text(), QStringLiteral("Ctrl+Alt+R"));
        QVERIFY(test::SaveScreenshot(change, "hotkey_change.png"));
        change.commandList()->setCurrentIndex(2);
        QVERIFY(test::Accepts(change));
        QCOMPARE(store.HotKeys()[0].command, 2);

        page->list()->setCurrentItem(page->list()->topLevelItem(0));
        QVERIFY(page->changeButton()->isEnabled() && page->deleteButton()->isEnabled());
        m_fixture->prompter.answer(PromptAnswer::Ok);
        QTest::mouseClick(page->deleteButton(), Qt::LeftButton);
        QCOMPARE(m_fixture->prompter.shown().back().title, "Delete Hot-Key(s)");
        QCOMPARE(page->list()->topLevelItemCount(), 2);

        // The freed first slot is taken again, so the new key leads the list.
        add(page, MakeKeyCode(0x24, kModCtrl), 1);
        QCOMPARE(page->list()->topLevelItemCount(), 3);
        QCOMPARE(page->list()->topLevelItem(0)->text(1), QStringLiteral("Pause"));
        QCOMPARE(m_fixture->settings.ReadSettingInt("Hotkey\\Details", "MaxID", 0), 3L);
    }

    // A session without system-wide keys (Wayland without a portal that offers them) says so.
    void unavailableHotKeysAreNamedOnThePage() {
        m_fixture->hotKeysAvailable = false;
        auto [dialog, page] = m_fixture->showPage<HotKeysPage>(OptionsDialog::kHotKeys);
        QVERIFY(page->unavailableNote()->isVisible());
        QVERIFY(page->unavailableNote()->text().contains(QStringLiteral("unavailable")));
    }

    void pressKeyTakesCombinationsAndSkipsModifiersAndEnter() {
        PressKeyDialog press;
        press.show();
        QVERIFY(test::SaveScreenshot(press, "press_key.png"));
        QTest::keyClick(&press, Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyClick(&press, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyClick(&press, Qt::Key_Return);
        QVERIFY(press.isVisible());
        QTest::keyClick(&press, Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!press.isVisible());
        QCOMPARE(press.result(), int(QDialog::Accepted));
        QCOMPARE(press.key(), kCtrlAltR);

        PressKeyDialog tab;
        tab.show();
        QTest::keyClick(&tab, Qt::Key_Tab);
        QCOMPARE(tab.key(), MakeKeyCode(0x09, 0));

        PressKeyDialog escape;
        escape.show();
        QTest::keyClick(&escape, Qt::Key_Escape);
        QCOMPARE(escape.result(), int(QDialog::Rejected));
        QCOMPARE(escape.key(), KeyCode{0});
    }

    // The methods' checks and their order are the transmit options' own; the page shows where a
    // check failed and hands every field over.
    void enablingFollowsTheMethodsAndTheChoicesAreSaved() {
        auto [dialog, page] = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        QVERIFY(!page->toField()->isEnabled() && !page->emailSettings()->isEnabled());
        QVERIFY(!page->ftpPassword()->isEnabled() && !page->browseProgram()->isEnabled());
        QCOMPARE(page->ftpDirectory()->text(), QStringLiteral("/"));
        QVERIFY(page->promptFirst()->isChecked());
        page->sendEmail()->setChecked(true);
        QVERIFY(page->toField()->isEnabled());
        page->toField()->setText("ann@example");
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid Email", "Please enter a valid email address.",
                                     page->toField()}));

        page->toField()->setText("ann@example.org");
        QVERIFY(page->ftpSecure()->isVisible() && page->ftpSecure()->isChecked());
        QVERIFY(!page->ftpPlainPassword()->isChecked());
        QVERIFY(!page->ftpSecure()->isEnabled() && !page->ftpPlainPassword()->isEnabled());
        page->sendFtp()->setChecked(true);
        QVERIFY(page->ftpSecure()->isEnabled() && page->ftpPlainPassword()->isEnabled());
        QVERIFY(page->ftpPassword()->isEnabled() && !page->folderField()->isEnabled());
        QCOMPARE(page->ftpPassword()->echoMode(), QLineEdit::Password);
        page->ftpPlainPassword()->setChecked(true);
        page->ftpServer()->setText("ftp.example.org");
        page->ftpUser()->setText("ann");
        page->ftpPassword()->setText("ftp-pass-77");
        page->sendFolder()->setChecked(true);
        const std::string backup = m_fixture->home.path() + "/backup";
        std::filesystem::create_directories(backup);
        page->folderField()->setText(QString::fromStdString(backup));
        page->runAutomatically()->setChecked(true);
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(std::filesystem::is_empty(backup));
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "To", ""), "ann@example.org");
        QVERIFY(!m_fixture->settings.ReadSettingBool("Settings", "bPromptTransmit", true));
        // The FTP password is sealed like the SMTP password.
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "Password", "none"), "none");
        QCOMPARE(ReadFtpPassword(m_fixture->passwords), "ftp-pass-77");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "Server", ""), "ftp.example.org");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "1");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "AllowPlainPassword", ""), "1");

        // Changing only an encryption choice is a change of the methods group: it is saved.
        std::tie(dialog, page) = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        QVERIFY(page->ftpPlainPassword()->isChecked());
        page->ftpSecure()->setChecked(false);
        QVERIFY(test::Accepts(*dialog));
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "0");
    }

    void emailDefaultsFromThunderbirdOnlyOnce() {
        writeThunderbirdProfile();
        {
            EmailSettingsDialog dialog(m_fixture->services);
            dialog.show();
            QCOMPARE(dialog.hostField()->text(), QStringLiteral("smtp.example.net"));
            QCOMPARE(dialog.replyField()->text(), QStringLiteral("ann@example.net"));
            QVERIFY(test::SaveScreenshot(dialog, "email_settings.png"));
            dialog.useSmtp()->setChecked(true);
            dialog.hostField()->clear();
            dialog.replyField()->clear();
            QCOMPARE(test::RefusalOf(dialog),
                     (test::ShownBalloon{"Reply Email Required",
                                         "If you choose SMTP you must enter a valid reply-to "
                                         "address. Enter your email address.",
                                         dialog.replyField()}));
            dialog.sendDirect()->setChecked(true);
            dialog.replyField()->setText("me@example.org");
            QVERIFY(test::Accepts(dialog));
        }
        EmailSettingsDialog again(m_fixture->services);
        QCOMPARE(again.hostField()->text(), QString());
        QCOMPARE(again.replyField()->text(), QStringLiteral("me@example.org"));
        QVERIFY(again.sendDirect()->isChecked());
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "SetViewed", ""), "1");
    }

    void emailDialogEnablingMapiCheckPasswordAndEncryption() {
        EmailSettingsDialog dialog(m_fixture->services);
        dialog.show();
        QVERIFY(dialog.useMapi()->isChecked());
        QVERIFY(!dialog.hostField()->isEnabled() && !dialog.userField()->isEnabled());
        QVERIFY(dialog.secure()->isVisible() && dialog.secure()->isChecked());
        QVERIFY(dialog.plainPassword()->isVisible() && !dialog.plainPassword()->isChecked());
        QVERIFY(dialog.plainPassword()->text().contains(QStringLiteral("not secure")));
        // Both belong to the mail host; the password choice to its log-on.
        QVERIFY(!dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
        QVERIFY(!test::Accepts(dialog));
        QCOMPARE(m_fixture->prompter.shown().back().title, "MAPI Not Detected");
        QCOMPARE(m_fixture->prompter.shown().back().icon, PromptIcon::Information);

        dialog.useSmtp()->setChecked(true);
        QVERIFY(dialog.hostField()->isEnabled() && !dialog.userField()->isEnabled());
        QVERIFY(dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
        dialog.authentication()->setChecked(true);
        QVERIFY(dialog.userField()->isEnabled() && dialog.passwordField()->isEnabled());
        QVERIFY(dialog.plainPassword()->isEnabled());
        dialog.secure()->setChecked(false);
        dialog.plainPassword()->setChecked(true);
        dialog.hostField()->setText("smtp.example.org:587");
        dialog.replyField()->setText("me@example.org");
        dialog.userField()->setText("me");
        QCOMPARE(test::RefusalOf(dialog),
                 (test::ShownBalloon{"Password Required",
                                     "If your SMTP server requires authentication, you must "
                                     "enter a valid SMTP password to connect to your server.",
                                     dialog.passwordField()}));
        dialog.passwordField()->setText("smtp-secret-9");
        QVERIFY(test::Accepts(dialog));

        EmailSettingsDialog reopened(m_fixture->services);
        QCOMPARE(reopened.passwordField()->text(), QStringLiteral("smtp-secret-9"));
        QVERIFY(reopened.useSmtp()->isChecked());
        QVERIFY(!reopened.secure()->isChecked());
        QVERIFY(reopened.plainPassword()->isChecked());
        QVERIFY(!m_fixture->home.backend.readValue(
            RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Email"), "SMTPPassword"));
    }

    void browsingForAProgramKeepsItsFolder() {
        const std::string folder = m_fixture->home.path() + "/tools";
        std::filesystem::create_directories(folder);
        const std::string program = folder + "/convert.sh";
        std::ofstream(program) << "#!/bin/sh\n";
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        auto [dialog, page] = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        page->sendRun()->setChecked(true);
        QString title;
        test::WhenShown<QFileDialog>([&](QFileDialog* picker) {
            title = picker->windowTitle();
            // Typed as a whole path, the name does not wait for the folder's listing to load.
            auto* name = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(QString::fromStdString(program));
            static_cast<QDialog*>(picker)->accept();
        });
        QTest::mouseClick(page->browseProgram(), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Browse for exe"));
        QCOMPARE(page->programField()->text(), QString::fromStdString(program));
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "OpenExeDir", ""), folder);
    }

    void sendDialogRefusesAPoorAddressStaysOpenAfterAFailureAndSends() {
        m_fixture->settings.Write(setting::kEmailDialogTo, "last@example.org");
        auto dialog = showSendDialog();
        QCOMPARE(dialog->addressField()->text(), QStringLiteral("last@example.org"));
        send(*dialog, "  ann@example ");
        QVERIFY(dialog->isVisible());
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Please enter a valid email address."));
        QCOMPARE(test::ShownBalloon::Current().field, dialog->addressField());
        QVERIFY(m_sent.empty());
        QCOMPARE(m_fixture->settings.Read(setting::kEmailDialogTo), "last@example.org");

        m_sendResult = SendResult::Failed;
        send(*dialog, "ann@example.org");
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Unable to send the email, please check your settings and the "
                                "address you are sending to."));

        m_sendResult = SendResult::Ok;
        send(*dialog, " ann@example.org ");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_fixture->prompter.progressTitles(),
                 (std::vector<std::string>{"Sending Email", "Sending Email"}));
        QCOMPARE(m_sent.size(), std::size_t(2));
        QCOMPARE(m_sent[1].to, "ann@example.org");
        QCOMPARE(m_sent[1].attachments, std::vector<std::string>{"/rec/take 1.wav"});
        QCOMPARE(m_fixture->settings.Read(setting::kEmailDialogTo), "ann@example.org");
    }

    void unseenEmailSettingsOpenBeforeSendingAndTheirCancelSendsNothing() {
        auto dialog = showSendDialog(false);
        bool opened = false;
        test::WhenShown<EmailSettingsDialog>([&opened](EmailSettingsDialog* settings) {
            opened = true;
            settings->reject();
        });
        send(*dialog, "ann@example.org");
        QVERIFY(opened);
        QVERIFY(dialog->isVisible());
        QVERIFY(m_sent.empty());
    }

    void recordVolumeDialogOpensOnTheStoredInputAndShowsItsLevel() {
        test::ScriptedWaveInList devices(inputs());
        m_fixture->settings.WriteSettingString("Settings", "RecordDevice", "USB Microphone");
        m_fixture->settings.WriteSettingInt("Settings", "RecordDeviceChannel", 2);
        m_fixture->settings.WriteSettingInt("Settings", "RecordVolume", -6);
        LRecordSettingDlg dialog(m_fixture->settings, devices, m_uiDispatcher, m_fixture->prompter);
        QCOMPARE(dialog.deviceList()->count(), 4);
        QCOMPARE(dialog.deviceList()->currentText(), QString("USB Microphone"));
        QCOMPARE(dialog.sourceList()->currentText(), QString("Line In"));
        QCOMPARE(dialog.volumeSlider()->value(), -6);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.volumeSlider()->isVisible());
        QVERIFY(!dialog.mixerButton()->isVisible());
        QVERIFY(dialog.levelBar()->isEnabled());
        QTRY_VERIFY(dialog.levelBar()->levels().levels[0] > -20);
        QVERIFY(devices.mixerLog().back() == "1/1/-6");
        QVERIFY(test::SaveScreenshot(dialog, "record_volume_dialog.png"));

        // Moving the volume applies it at once.
        QLineEdit* box = dialog.volumeSlider()->numberBox();
        box->selectAll();
        QTest::keyClicks(box, "-3");
        QCOMPARE(devices.mixerLog().back(), std::string("1/1/-3"));

        dialog.accept();
        QVERIFY(!dialog.monitoring());
        QCOMPARE(m_fixture->settings.ReadSettingInt("Settings", "RecordVolume", 0), -3L);
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "RecordDevice", ""),
                 std::string("USB Microphone"));
    }

    void recordVolumeDialogFollowsTheChosenInputAndSource() {
        test::ScriptedWaveInList devices(inputs());
        const std::string bin = m_fixture->home.path() + "/bin";
        QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
        LRecordSettingDlg dialog(m_fixture->settings, devices, m_uiDispatcher, m_fixture->prompter);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.sourceList()->currentIndex(), 0);
        QCOMPARE(dialog.sourceList()->currentText(), QString("Windows Record Mixer"));
        QVERIFY(dialog.mixerButton()->isVisible());
        QVERIFY(!dialog.volumeSlider()->isVisible());
        std::optional<test::ScopedEnv> path(std::in_place, "PATH", bin);
        dialog.mixerButton()->click();
        QCOMPARE(m_fixture->prompter.shown().size(), 1u);
        QVERIFY(m_fixture->prompter.shown()[0].text.find("pavucontrol") != std::string::npos);
        const std::string marker = m_fixture->home.path() + "/started";
        test::WriteTextFile(bin + "/pavucontrol", "#!/bin/sh\necho \"$@\" > '" + marker + "'\n");
        chmod((bin + "/pavucontrol").c_str(), 0755);
        dialog.mixerButton()->click();
        path.reset();
        QTRY_VERIFY(QFile::exists(QString::fromStdString(marker)));
        QCOMPARE(m_fixture->prompter.shown().size(), 1u);

        // Choosing another device refills the sources and monitors it.
        const int created = devices.devicesCreated();
        dialog.deviceList()->setCurrentIndex(2);
        emit dialog.deviceList()->activated(2);
        QCOMPARE(dialog.sourceList()->count(), 3);
        QTRY_VERIFY(devices.devicesCreated() > created);
        dialog.sourceList()->setCurrentIndex(1);
        emit dialog.sourceList()->activated(1);
        QVERIFY(dialog.volumeSlider()->isVisible());
        QVERIFY(!dialog.mixerButton()->isVisible());

        // A device that does not open leaves the bar disabled.
        dialog.deviceList()->setCurrentIndex(3);
        emit dialog.deviceList()->activated(3);
        QVERIFY(!dialog.levelBar()->isEnabled());

        dialog.reject();
        QVERIFY(!dialog.monitoring());
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "RecordDevice", "unset"),
                 std::string("unset"));
    }

  private:
    void writeThunderbirdProfile() {
        const std::string base = m_fixture->home.path() + "/.thunderbird";
        std::filesystem::create_directories(base + "/x1.default");
        std::ofstream(base + "/profiles.ini") << "[Profile0]\nName=default\nIsRelative=1\n"
                                                 "Path=x1.default\nDefault=1\n";
        std::ofstream(base + "/x1.default/prefs.js")
            << "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
               "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
               "user_pref(\"mail.identity.id1.useremail\", \"ann@example.net\");\n"
               "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
               "user_pref(\"mail.smtpserver.smtp1.hostname\", \"smtp.example.net\");\n";
    }

    std::unique_ptr<LEmailSendDlg> showSendDialog(bool settingsSeen = true) {
        m_fixture->settings.Write(setting::kEmailSetViewed, settingsSeen);
        auto dialog = std::make_unique<LEmailSendDlg>(
            m_fixture->services, m_dispatcher,
            [this](const MailMessage& message, NetTask&) {
                m_sent.push_back(message);
                return m_sendResult;
            },
            "/rec/take 1.wav");
        dialog->show();
        return dialog;
    }
    static void send(LEmailSendDlg& dialog, const char* address) {
        dialog.addressField()->setText(QString::fromLatin1(address));
        dialog.okButton()->click();
    }

    // The settings database as it is on disk: any write, even of an unchanged value, changes it.
    std::string storedSettings() const {
        const std::string& database = m_fixture->paths.userRegistry;
        return test::ReadTextFile(database) + test::ReadTextFile(database + "-wal");
    }

    // "Add..." with `key` and `command`, through the page's own dialog.
    static void add(HotKeysPage* page, KeyCode key, int command) {
        bool accepted = false;
        test::WhenShown<HotKeyDialog>([&](HotKeyDialog* dialog) {
            dialog->setKey(key);
            dialog->commandList()->setCurrentIndex(command);
            accepted = test::Accepts(*dialog);
        });
        QTest::mouseClick(page->addButton(), Qt::LeftButton);
        QVERIFY(accepted);
    }

    std::unique_ptr<OptionsFixture> m_fixture;
    test::ManualDispatcher m_dispatcher;
    QtUiDispatcher m_uiDispatcher;
    std::vector<MailMessage> m_sent;
    SendResult m_sendResult = SendResult::Ok;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::OptionsDialogTest)
#include "options_dialog_test.moc"
