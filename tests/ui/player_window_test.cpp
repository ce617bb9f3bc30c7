#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt_ui_dispatcher.h"
#include "recordings/play_source.h"
#include "recordings/playback_engine.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/pulse_server.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_out.h"
#include "support/settings_home.h"
#include "ui/player_window.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

constexpr int kRate = 8000;
constexpr int kFrames = 2 * kRate;

// A player window over a real engine, scripted outputs and a two-second WAV file of noise (no
// stretch of it repeats, so where the output came from shows).
struct PlayerRig {
    PlayerRig() {
        const std::vector<std::int16_t> noise = test::Pcm16Of(test::RandomSamples(kFrames));
        file.assign(noise.begin(), noise.end());
        if (!test::WriteWavFile(path, file, kRate, 1)) {
            qFatal("cannot write %s", path.c_str());
        }
    }

    PlayerWindow& open() {
        window.reset();
        window = std::make_unique<PlayerWindow>(engine, outputs, settings, provider, prompter);
        window->Open();
        return *window;
    }
    test::WaveOutScript& script() { return outputs.script(); }
    test::WaveOutScript::Snapshot output() { return outputs.script().snapshot(); }
    template <typename Part>
    Part* part(const char* name) const {
        return window->findChild<Part*>(QLatin1String(name));
    }
    QString clock() const { return part<QLabel>("clock")->text(); }
    // The clock in ms (to its hundredths).
    std::int64_t clockMs() const {
        const QStringList parts = clock().split(QRegularExpression("[:.]"));
        return ((parts[0].toLongLong() * 60 + parts[1].toLongLong()) * 60 + parts[2].toLongLong()) *
                   1000 +
               parts[3].toLongLong() * 10;
    }
    // Where the first `frames` written since the device opened start in the file, if anywhere.
    std::optional<std::int64_t> writtenFrom(int frames) {
        const auto written = output().samples;
        if (static_cast<int>(written.size()) < frames) {
            return std::nullopt;
        }
        for (int start = 0; start + frames <= kFrames; ++start) {
            if (std::equal(written.begin(), written.begin() + frames, file.begin() + start)) {
                return start;
            }
        }
        return std::nullopt;
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), key, modifiers);
    }

    test::SettingsHome home;
    SettingsStore& settings = home.settings;
    std::string path = home.path() + "/take.wav";
    std::vector<std::int16_t> file;
    QtUiDispatcher dispatcher;
    test::ScriptedWaveOutList outputs{{"Speakers", "Headphones"}};
    PlaybackEngine engine{outputs, dispatcher};
    test::ScriptedPrompter prompter;
    RecordingFileProvider provider{path, "take", settings};
    std::unique_ptr<PlayerWindow> window;
};

}  // namespace

class PlayerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_rig = std::make_unique<PlayerRig>(); }
    void cleanup() { m_rig.reset(); }

    void playsTheFileToItsEnd() {
        PlayerRig& rig = *m_rig;
        rig.script().SetAutoPlay(true);
        PlayerWindow& window = rig.open();
        QCOMPARE(window.objectName(), QString("LPlayDlg"));
        QTRY_VERIFY(rig.engine.IsStopped());
        QCOMPARE(rig.output().samples, rig.file);
        QCOMPARE(rig.clock(), QString("0:00:02.00"));
        QCOMPARE(rig.part<QSlider>("seekBar")->value(), 100);
        QVERIFY(rig.part<QToolButton>("stop")->isChecked());
        QVERIFY(!rig.part<QToolButton>("play")->isChecked());
        QCOMPARE(rig.part<QToolButton>("goToStart")->toolTip(), QString("Go to Start (Home)"));

        // Playing again from the end starts over.
        rig.key(Qt::Key_F9);
        QTRY_VERIFY(rig.engine.IsStopped() && rig.output().writtenFrames == kFrames);
        QCOMPARE(rig.output().samples, rig.file);

        QCOMPARE(PlayerClockText(((1 * 60 + 2) * 60 + 3) * 1000 + 456), QString("1:02:03.46"));
        QCOMPARE(PlayerClockText(-300), QString("0:00:00.00"));
    }

    void pauseKeepsThePlaceAndStopGoesToTheStart() {
        PlayerRig& rig = *m_rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.script().Hear(kRate);
        QTRY_COMPARE(rig.clock(), QString("0:00:01.00"));
        QVERIFY(rig.part<QToolButton>("play")->isChecked());
        QVERIFY(test::SaveScreenshot(*rig.window, "player_window.png"));

        rig.key(Qt::Key_Space);
        QVERIFY(rig.engine.IsStopped());
        QVERIFY(!rig.output().open);
        QCOMPARE(rig.clock(), QString("0:00:01.00"));
        QVERIFY(rig.part<QToolButton>("pause")->isChecked());
        QVERIFY(!rig.part<QToolButton>("stop")->isChecked());

        rig.key(Qt::Key_F9);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames - kRate);
        QCOMPARE(rig.writtenFrom(kFrames - kRate), std::optional<std::int64_t>(kRate));
        QVERIFY(!rig.part<QToolButton>("pause")->isChecked());

        rig.key(Qt::Key_Escape);
        QVERIFY(rig.window->isVisible());
        QVERIFY(!rig.output().open);
        QCOMPARE(rig.clock(), QString("0:00:00.00"));
        QVERIFY(rig.part<QToolButton>("stop")->isChecked());

        // The last three seconds of a two-second file are all of it.
        rig.key(Qt::Key_F9, Qt::AltModifier);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.key(Qt::Key_Return);
        QVERIFY(!rig.window->isVisible());
        QVERIFY(!rig.output().open);
    }

    void endHomeAndTheSeekBarMoveThePlay() {
        PlayerRig& rig = *m_rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        // Each move flushes the output and plays on from the new place to the end. The count
        // is taken before the move: the engine writes again as soon as it has sought.
        const auto playsOnFrom = [&](std::int64_t frame, const auto& move) {
            const std::int64_t before = rig.output().writtenFrames;
            move();
            if (!QTest::qWaitFor(
                    [&] { return rig.output().writtenFrames == before + kFrames - frame; })) {
                return false;
            }
            const auto written = rig.output().samples;
            return std::equal(written.end() - (kFrames - frame), written.end(),
                              rig.file.begin() + frame);
        };
        QVERIFY(playsOnFrom(kRate / 2, [&] { rig.key(Qt::Key_End); }));
        QCOMPARE(rig.clock(), QString("0:00:00.50"));
        QVERIFY(playsOnFrom(kRate * 3 / 2, [&] { rig.part<QSlider>("seekBar")->setValue(75); }));
        QCOMPARE(rig.clock(), QString("0:00:01.50"));
        QVERIFY(playsOnFrom(0, [&] { rig.key(Qt::Key_Home); }));
        QCOMPARE(rig.clock(), QString("0:00:00.00"));
        QCOMPARE(rig.output().flushes, 3);

        rig.key(Qt::Key_Space);
        rig.key(Qt::Key_End);
        QCOMPARE(rig.clock(), QString("0:00:02.00"));
        QCOMPARE(rig.part<QSlider>("seekBar")->value(), 100);
    }

    void deviceAndVolumeAreKept() {
        PlayerRig& rig = *m_rig;
        rig.settings.Write(setting::kPlayerDevice, "Headphones");
        rig.settings.Write(setting::kPlayerVolumeDb, -9);
        rig.open();
        auto* devices = rig.part<QComboBox>("device");
        QCOMPARE(devices->count(), 3);
        QCOMPARE(devices->itemText(0), QString("[Default Sound Out]"));
        QCOMPARE(devices->currentText(), QString("Headphones"));
        QCOMPARE(rig.part<QSlider>("volume")->value(), 80);
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        QCOMPARE(rig.output().deviceName, std::string("Headphones"));
        QCOMPARE(rig.output().volumeDb, -9);

        // A device chosen while playing takes over at once.
        devices->setCurrentIndex(1);
        QTRY_COMPARE(rig.output().deviceName, std::string("Speakers"));
        rig.part<QSlider>("volume")->setValue(40);
        QCOMPARE(rig.output().volumeDb, -27);
        auto* name = rig.part<QLineEdit>("name");
        QCOMPARE(name->text(), QString("take"));
        QTest::keyClicks(name, " two");
        rig.window->close();
        QVERIFY(rig.provider.titleChanged());
        QCOMPARE(rig.provider.title(), std::string("take two"));
        QCOMPARE(rig.settings.Read(setting::kPlayerDevice), std::string("Speakers"));
        QCOMPARE(rig.settings.Read(setting::kPlayerVolumeDb), -27);

        // A device that is gone is the default one.
        rig.settings.Write(setting::kPlayerDevice, "USB Headset");
        rig.open();
        QCOMPARE(rig.part<QComboBox>("device")->currentIndex(), 0);
    }

    void slowSpeedPlaysThroughTheStretch() {
        PlayerRig& rig = *m_rig;
        rig.settings.Write(setting::kCurrentSpeed, 50);
        rig.script().SetAutoPlay(true);
        rig.open();
        QTRY_VERIFY(rig.engine.IsStopped() && rig.output().writtenFrames > 0);
        QVERIFY2(rig.output().writtenFrames > kFrames * 19 / 10, "half speed lasts twice as long");
    }

    void heldCueRunsAheadAndReleaseGoesBackToPlay() {
        PlayerRig& rig = *m_rig;
        rig.open();
        QTRY_COMPARE(rig.output().writtenFrames, kFrames);
        rig.script().Hear(kRate / 2);
        QTRY_COMPARE(rig.clock(), QString("0:00:00.50"));

        QTest::keyPress(rig.window.get(), Qt::Key_Right);
        QVERIFY(rig.part<QToolButton>("forward")->isDown());
        QTRY_VERIFY(rig.output().writtenFrames > kRate / 4);
        QVERIFY2(!rig.writtenFrom(kRate / 4), "grains of the cue, not the file as it is");
        // Half a second heard at 1.5 times speed and more: normal play would show 1.00.
        rig.script().Hear(kRate / 2);
        QTRY_VERIFY(rig.clockMs() >= 1150);

        QTest::keyRelease(rig.window.get(), Qt::Key_Right);
        QVERIFY(!rig.part<QToolButton>("forward")->isDown());
        const std::int64_t cuedTo = rig.clockMs();
        QTRY_VERIFY(rig.output().writtenFrames >= kRate / 4);
        const std::optional<std::int64_t> from = rig.writtenFrom(kRate / 4);
        QVERIFY2(from, "normal play again");
        QVERIFY(std::abs(*from - cuedTo * kRate / 1000) <= kRate / 100);
        QVERIFY(rig.part<QToolButton>("play")->isChecked());

        // Forward that cannot start says so.
        rig.script().FailOpen("the sound server went away");
        QTest::keyPress(rig.window.get(), Qt::Key_Right);
        QTest::keyRelease(rig.window.get(), Qt::Key_Right);
        QCOMPARE(rig.prompter.shown().size(), std::size_t{1});
        QCOMPARE(rig.prompter.shown()[0].title, std::string("Sound Device Error"));
        QCOMPARE(rig.prompter.shown()[0].text,
                 std::string("There was an unknown problem when starting the sound device."));
    }

  private:
    std::unique_ptr<PlayerRig> m_rig;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::PlayerWindowTest)
#include "player_window_test.moc"
