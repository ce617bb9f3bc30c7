#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/application.h"
#include "app/session_commands.h"
#include "formats/format_settings.h"
#include "platform/qt_ui_dispatcher.h"
#include "platform/sqlite_settings_backend.h"
#include "record/file_naming.h"
#include "record/recording_session.h"
#include "support/clock.h"
#include "support/memory_sink.h"
#include "support/program_log.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/temp_home.h"
#include "ui/main_window.h"
#include "ui/transport_buttons.h"

namespace sonaro {

class SilentTones final : public TonePlayer {
  public:
    bool PlayTone(std::string_view) override { return true; }
};

// The main window showing a real session that records from a scripted microphone.
class SessionDisplayTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_home = std::make_unique<test::TempHome>();
        const std::string dir = m_home->path();
        m_backend = std::make_unique<SqliteSettingsBackend>(dir + "/r.db", dir + "/m.db");
        m_settings = std::make_unique<SettingsStore>(*m_backend);
        m_settings->WriteSettingString("FindPlay", "DefaultRecordFolder", dir);
        m_settings->WriteSettingBool("Settings", "InstallWizRun", true);
        m_formats = std::make_unique<FormatSettings>(*m_settings, dir);
        m_naming = std::make_unique<FileNaming>(*m_settings, m_clock, dir);
        m_log = std::make_unique<ProgramLog>(dir + "/Logs", m_clock);
        test::ScriptedInput mic;
        mic.name = "Mic";
        mic.signal = test::ToneBetween(0.5, 0, 60000);
        mic.frames = 8000 * 60;
        m_list = std::make_unique<test::ScriptedWaveInList>(std::vector<test::ScriptedInput>{mic});
        m_engine = std::make_unique<CaptureEngine>(*m_list, m_dispatcher);
        m_session = std::make_unique<LRecordingSession>(RecordingSessionParts{
            *m_settings, *m_formats, *m_naming, *m_engine, *m_list, m_prompter, *m_log, m_tones,
            [](const std::string&, const RecordingFormat&) {
                return MakeSink<test::MemorySink>(8000, 1);
            },
            dir + "/q"});
        m_commands = std::make_unique<SessionCommands>(*m_session);
        m_application = std::make_unique<Application>(*m_settings, *m_formats, *m_commands);
    }

    void cleanup() {
        m_application.reset();
        m_commands.reset();
        m_session.reset();
        m_engine.reset();
        m_list.reset();
        m_home.reset();
    }

    void buttonsFollowTheSession() {
        using Button = TransportButtons::Button;
        MainWindow window(*m_application, *m_settings);
        window.AttachSession(*m_session, *m_naming);
        QCOMPARE(window.folderText(), QString::fromStdString(m_home->path()));
        QVERIFY(!window.transport()->isLit(Button::Record));

        QTest::mouseClick(window.transport()->button(Button::Record), Qt::LeftButton);
        QTRY_COMPARE(window.indicatorText(), QStringLiteral("Recording..."));
        QVERIFY(window.transport()->isLit(Button::Record));
        QVERIFY(window.transport()->playBusy());
        QCOMPARE(window.fileNameText(), QStringLiteral("Filename: Untitled 001.wav"));
        QCOMPARE(window.formatText(), QString::fromStdString(m_formats->FormatLabel()));

        QTest::mouseClick(window.transport()->button(Button::Pause), Qt::LeftButton);
        QVERIFY(m_session->isPaused());
        QVERIFY(window.transport()->isLit(Button::Pause));
        QVERIFY(!window.transport()->isLit(Button::Record));

        QTest::mouseClick(window.transport()->button(Button::Stop), Qt::LeftButton);
        QVERIFY(m_session->IsIdle());
        QCOMPARE(window.indicatorText(), QStringLiteral("Ready"));
        QVERIFY(!window.transport()->isLit(Button::Pause));
        QVERIFY(!window.transport()->playBusy());
    }

    void clockAndIndicatorTexts() {
        MainWindow window(*m_application, *m_settings);
        window.show();
        QCOMPARE(window.timeText(), QStringLiteral("0:00:00"));
        window.ShowTime(3723999);
        QCOMPARE(window.timeText(), QStringLiteral("1:02:03"));
        window.ShowTime(-5000);
        QCOMPARE(window.timeText(), QStringLiteral("-0:00:05"));
        window.ShowIndicator(2);
        QCOMPARE(window.indicatorText(), QStringLiteral("Waiting for voice input..."));
        window.ShowIndicator(9);
        QCOMPARE(window.indicatorText(), QString());
    }

    void stopTimerCompletesAndExits() {
        MainWindow window(*m_application, *m_settings);
        window.AttachSession(*m_session, *m_naming);
        QSignalSpy closed(&window, &MainWindow::closedNow);
        m_application->ProcessCommandLine({"sonaro", "-record", "-ms", "200"});
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(m_session->IsIdle());
        QVERIFY(m_settings->ReadSettingBool("Settings", "RecordedOneFile", false));
    }

  private:
    std::unique_ptr<test::TempHome> m_home;
    std::unique_ptr<SqliteSettingsBackend> m_backend;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<FormatSettings> m_formats;
    SystemClock m_clock;
    std::unique_ptr<FileNaming> m_naming;
    std::unique_ptr<ProgramLog> m_log;
    QtUiDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
    SilentTones m_tones;
    std::unique_ptr<test::ScriptedWaveInList> m_list;
    std::unique_ptr<CaptureEngine> m_engine;
    std::unique_ptr<LRecordingSession> m_session;
    std::unique_ptr<SessionCommands> m_commands;
    std::unique_ptr<Application> m_application;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::SessionDisplayTest)
#include "session_display_test.moc"
