#include "ui/main_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "app/application.h"
#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "support/activity_record.h"
#include "support/settings_home.h"
#include "ui/tray_controller.h"
#include "window_rig.h"

namespace sonaro {

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_home = std::make_unique<test::SettingsHome>();
        m_settings = &m_home->settings;
        m_formats = std::make_unique<FormatSettings>(*m_settings, m_home->path() + "/data");
        m_application = std::make_unique<Application>(*m_settings, *m_formats, m_commands);
    }

    void cleanup() {
        m_application.reset();
        m_formats.reset();
        m_home.reset();
    }

    void closingKeepsTheProgramRunning() {
        MainWindow window(*m_application, *m_settings);
        QSignalSpy closed(&window, &MainWindow::closedNow);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QVERIFY(!window.isVisible() || window.isMinimized());
        QCOMPARE(closed.count(), 0);
        m_application->ProcessCommandLine({"sonaro", "-SHOW"});
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void crashReportsNameTheCommandWhileItRuns() {
        MarkActivityMainThread();
        SetActivityPhase(ActivityPhase::Running);
        MainWindow window(*m_application, *m_settings);
        std::string during;
        MainWindow::Services services;
        services.formats = m_formats.get();
        services.openOptions = [&during](int) {
            char context[128];
            FormatActivityContext(context, sizeof context);
            during = context;
        };
        window.SetServices(std::move(services));
        window.RunCommand(cmd::kToolbarOptions);
        QCOMPARE(during, "Main(Cmd" + std::to_string(cmd::kToolbarOptions) + ")");
        char after[128];
        FormatActivityContext(after, sizeof after);
        QCOMPARE(std::string(after),
                 "MainUkn0(Msg0LstCmd" + std::to_string(cmd::kToolbarOptions) + ")");
    }

    // Without a tray a hidden window could not be found again: "-hide" minimises it.
    void hideWithoutTrayMinimises() {
        MainWindow window(*m_application, *m_settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!test::PartOf<TrayController>(window)->hasIcon());
        m_application->ProcessCommandLine({"sonaro", "-hide"});
        QVERIFY(window.isVisible());
        QVERIFY(window.isMinimized());
        m_application->ProcessCommandLine({"sonaro", "-show"});
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void exitClosesOnceAndSavesThePosition() {
        MainWindow window(*m_application, *m_settings);
        QSignalSpy closed(&window, &MainWindow::closedNow);
        window.move(40, 30);
        window.show();
        m_application->ProcessCommandLine({"sonaro", "-exit", "-exit"});
        QCOMPARE(closed.count(), 0);  // "close now" is posted, not applied inside the options
        QVERIFY(closed.wait(5000));
        QTest::qWait(20);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isVisible());
        QCOMPARE(m_settings->ReadSettingInt("MainWindow", "X", -1), window.pos().x());
        QCOMPARE(m_settings->ReadSettingInt("MainWindow", "Y", -1), window.pos().y());
        QCOMPARE(m_settings->ReadSettingString("Settings", "HaveRun", ""), std::string("1"));
    }

    void stopTimerCompletesAndExits() {
        MainWindow window(*m_application, *m_settings);
        QSignalSpy closed(&window, &MainWindow::closedNow);
        m_application->ProcessCommandLine({"sonaro", "-ms", "50"});
        QVERIFY(closed.wait(5000));
        QCOMPARE(m_commands.done, 1);
    }

    void placementKeepsTheWindowOnTheDesktop() {
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        m_settings->WriteSettingInt("MainWindow", "X", desktop.right() + 500);
        m_settings->WriteSettingInt("MainWindow", "Y", -300);
        MainWindow window(*m_application, *m_settings);
        window.PlaceWindow();
        QVERIFY(desktop.contains(QRect(window.pos(), window.size())));
        QCOMPARE(window.pos().y(), desktop.top());

        m_settings->WriteSettingInt("MainWindow", "Height", 100);
        MainWindow stored(*m_application, *m_settings);
        stored.PlaceWindow();
        QCOMPARE(stored.pos(), QPoint(desktop.right() + 500, -300));
    }

    void defaultPlacementIsCentred() {
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        MainWindow window(*m_application, *m_settings);
        window.PlaceWindow();
        const QPoint centre = QRect(window.pos(), window.size()).center();
        QVERIFY((centre - desktop.center()).manhattanLength() <= 2);
        QVERIFY(window.width() > window.height());
    }

  private:
    std::unique_ptr<test::SettingsHome> m_home;
    SettingsStore* m_settings = nullptr;
    std::unique_ptr<FormatSettings> m_formats;
    test::CountingCommands m_commands;
    std::unique_ptr<Application> m_application;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::MainWindowTest)
#include "main_window_test.moc"
