#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/qt_ui_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"
#include "ui/ldb_display.h"
#include "ui/ldb_edit.h"
#include "ui/record_setting_dlg.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

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

}  // namespace

class RecordSettingDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_home = std::make_unique<test::SettingsHome>();
        m_settings = &m_home->settings;
        m_devices = std::make_unique<test::ScriptedWaveInList>(inputs());
    }

    void cleanup() {
        m_devices.reset();
        m_home.reset();
    }

    void opensOnTheStoredInputAndShowsItsLevel() {
        m_settings->WriteSettingString("Settings", "RecordDevice", "USB Microphone");
        m_settings->WriteSettingInt("Settings", "RecordDeviceChannel", 2);
        m_settings->WriteSettingInt("Settings", "RecordVolume", -6);
        LRecordSettingDlg dialog(*m_settings, *m_devices, m_dispatcher, m_prompter);
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
        QVERIFY(m_devices->mixerLog().back() == "1/1/-6");
        QVERIFY(test::SaveScreenshot(dialog, "record_volume_dialog.png"));

        // Moving the volume applies it at once.
        QLineEdit* box = dialog.volumeSlider()->numberBox();
        box->selectAll();
        QTest::keyClicks(box, "-3");
        QCOMPARE(m_devices->mixerLog().back(), std::string("1/1/-3"));

        dialog.accept();
        QVERIFY(!dialog.monitoring());
        QCOMPARE(m_settings->ReadSettingInt("Settings", "RecordVolume", 0), -3L);
        QCOMPARE(m_settings->ReadSettingString("Settings", "RecordDevice", ""),
                 std::string("USB Microphone"));
    }

    void theSystemMixerSourceOffersTheSoundSettings() {
        LRecordSettingDlg dialog(*m_settings, *m_devices, m_dispatcher, m_prompter);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.sourceList()->currentIndex(), 0);
        QCOMPARE(dialog.sourceList()->currentText(), QString("Windows Record Mixer"));
        QVERIFY(dialog.mixerButton()->isVisible());
        QVERIFY(!dialog.volumeSlider()->isVisible());

        // Choosing another device refills the sources and monitors it.
        const int created = m_devices->devicesCreated();
        dialog.deviceList()->setCurrentIndex(2);
        emit dialog.deviceList()->activated(2);
        QCOMPARE(dialog.sourceList()->count(), 3);
        QTRY_VERIFY(m_devices->devicesCreated() > created);
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
        QCOMPARE(m_settings->ReadSettingString("Settings", "RecordDevice", "unset"),
                 std::string("unset"));
    }

    void theMixerButtonStartsPavucontrolOrSaysItIsMissing() {
        const std::string bin = m_home->path() + "/bin";
        QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
        std::optional<test::ScopedEnv> path(std::in_place, "PATH", bin);
        LRecordSettingDlg dialog(*m_settings, *m_devices, m_dispatcher, m_prompter);
        dialog.mixerButton()->click();
        QCOMPARE(m_prompter.shown().size(), 1u);
        QVERIFY(m_prompter.shown()[0].text.find("pavucontrol") != std::string::npos);

        const std::string marker = m_home->path() + "/started";
        {
            std::ofstream script(bin + "/pavucontrol");
            script << "#!/bin/sh\necho \"$@\" > '" << marker << "'\n";
        }
        chmod((bin + "/pavucontrol").c_str(), 0755);
        dialog.mixerButton()->click();
        path.reset();
        QTRY_VERIFY(QFile::exists(QString::fromStdString(marker)));
        QCOMPARE(m_prompter.shown().size(), 1u);
    }

  private:
    std::unique_ptr<test::SettingsHome> m_home;
    SettingsStore* m_settings = nullptr;
    std::unique_ptr<test::ScriptedWaveInList> m_devices;
    QtUiDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::RecordSettingDlgTest)
#include "record_setting_dlg_test.moc"
