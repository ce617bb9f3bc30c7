#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include "app/window_commands.h"
#include "formats/format_settings.h"
#include "support/activity_record.h"
#include "support/settings_home.h"
#include "ui/dialog_units.h"
#include "window_rig.h"

namespace sonaro {
namespace {

using Button = TransportButtons::Button;

bool enabled(const test::WindowParts& parts, int command) {
    return parts.menu->item(command)->isEnabled();
}

struct TrayRow {
    bool play, record, pause, stop, restart;
};

TrayRow trayRow(const test::WindowParts& parts) {
    TrayController* tray = parts.tray;
    return {tray->item(cmd::kTrayPlay)->isEnabled(), tray->item(cmd::kTrayRecord)->isEnabled(),
            tray->item(cmd::kTrayPause)->isEnabled(), tray->item(cmd::kTrayStop)->isEnabled(),
            tray->item(cmd::kTrayRestart)->isEnabled()};
}

// Counts the paint events of a widget and its children.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) {
        widget->installEventFilter(this);
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            child->installEventFilter(this);
        }
    }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A main window over counted commands and no session, for the command line and placement.
struct BareWindow {
    test::SettingsHome home;
    SettingsStore& settings = home.settings;
    FormatSettings formats{settings, home.path() + "/data"};
    test::CountingCommands commands;
    Application application{settings, formats, commands};
    MainWindow window{application, settings};

    std::string state() const {
        return !window.isVisible() ? "hidden" : window.isMinimized() ? "minimised" : "shown";
    }
};

}  // namespace

class MainWindowViewTest : public QObject {
    Q_OBJECT

  private slots:
    void heightFollowsTheShownParts() {
        test::WindowRig rig;
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QCOMPARE(window.width(), DluX(window.fontMetrics(), 320));
        const int full = window.height();
        const struct {
            int command;
            const char* setting;
            QWidget* part;
        } toggles[] = {{cmd::kViewToolbar, "ShowToolbar", parts.toolbar},
                       {cmd::kViewButtons, "bShowButtons", parts.transport->parentWidget()},
                       {cmd::kViewStatusBar, "ShowStatusBar", parts.statusBar}};
        for (const auto& toggle : toggles) {
            const int partHeight = toggle.part->height();
            window.RunCommand(toggle.command);
            QCOMPARE(window.height(), full - partHeight);
            QVERIFY(!parts.menu->item(toggle.command)->isChecked());
            QCOMPARE(rig.settings.ReadSettingString("Settings", toggle.setting, ""),
                     std::string("0"));
            window.RunCommand(toggle.command);
            QCOMPARE(window.height(), full);
            QVERIFY(parts.menu->item(toggle.command)->isChecked());
        }
        // Voice activation from the meter's menu makes the meter taller at once.
        QString chosen;
        test::ChooseFromNextMenu(&chosen);
        test::RightClick(parts.meter);
        QCOMPARE(chosen, QString("Enable Voice Activate"));
        QCOMPARE(rig.settings.ReadSettingString("Settings", "VoiceActivate", ""), std::string("1"));
        const QFontMetrics metrics = window.fontMetrics();
        QCOMPARE(parts.meter->height(), DluY(metrics, 20));
        QCOMPARE(window.height(), full + DluY(metrics, 20) - DluY(metrics, 7));
        // Until a level is written the marker shows the one capture waits for, as Options does.
        QCOMPARE(static_cast<int>(parts.meter->markerLevel()), -18);
        const int withMeter = window.height();
        parts.outputPanel->setExpanded(true);
        QVERIFY(window.height() > withMeter);
        parts.outputPanel->setExpanded(false);
        QCOMPARE(window.height(), withMeter);
        QVERIFY(test::SaveScreenshot(window, "main_window_idle.png"));

        // Without the buttons, the status bar and the toolbar hide from their own menus.
        window.RunCommand(cmd::kViewButtons);
        const int height = window.height();
        test::ChooseFromNextMenu(&chosen);
        test::RightClick(parts.statusBar);
        QCOMPARE(chosen, QString("Hide StatusBar"));
        QVERIFY(parts.statusBar->isHidden());
        QVERIFY(window.height() < height);
        test::ChooseFromNextMenu(&chosen);
        test::RightClick(parts.toolbar);
        QCOMPARE(chosen, QString("Hide Toolbar"));
        QVERIFY(parts.toolbar->isHidden());
    }

    void controlsFollowTheSessionStates() {
        test::WindowRig rig;
        rig.settings.WriteSettingBool("Settings", "VoiceActivate", true);
        rig.settings.WriteSettingInt("Settings", "VoiceActivateLevel", -24);
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QVERIFY(enabled(parts, cmd::kOptions));

        window.RunCommand(cmd::kButtonRecord);
        QTRY_COMPARE(parts.display->indicatorText(), QString("Recording..."));
        QVERIFY(parts.transport->isLit(Button::Record));
        QVERIFY(!parts.transport->isLit(Button::Pause));
        QVERIFY(parts.transport->playBusy());
        QVERIFY(!parts.inputPanel->content()->isEnabled());
        QVERIFY(!parts.outputPanel->content()->isEnabled());
        QVERIFY(!parts.toolbarAction(cmd::kToolbarRecordings)->isEnabled());
        QVERIFY(!parts.toolbarAction(cmd::kToolbarOptions)->isEnabled());
        const int idleOnly[] = {cmd::kRecord,           cmd::kOptions,       cmd::kSetupWizard,
                                cmd::kRecordingsWindow, cmd::kOptionsRecord, cmd::kOptionsKeys};
        for (int id : idleOnly) {
            QVERIFY2(!enabled(parts, id), qPrintable(QString::number(id)));
        }
        QVERIFY(enabled(parts, cmd::kPause));
        // The record icon blinks.
        QTRY_VERIFY(window.presenter().iconNumber() == 5 || window.presenter().iconNumber() == 6);
        const int first = window.presenter().iconNumber();
        QTRY_VERIFY(window.presenter().iconNumber() != first);
        TrayRow row = trayRow(parts);
        QVERIFY(!row.play && !row.record && row.pause && row.stop && row.restart);
        QTRY_VERIFY(parts.meter->markerShown());
        QVERIFY(test::SaveScreenshot(window, "main_window_recording.png"));

        window.RunCommand(cmd::kButtonPause);
        QVERIFY(parts.transport->isLit(Button::Pause));
        QVERIFY(!parts.transport->isLit(Button::Record));
        QVERIFY(!enabled(parts, cmd::kOptions));  // paused is not idle
        row = trayRow(parts);
        QVERIFY(row.play && row.record && !row.pause && row.stop && row.restart);
        QVERIFY(test::SaveScreenshot(window, "main_window_paused.png"));

        window.RunCommand(cmd::kButtonStop);
        QCOMPARE(parts.display->indicatorText(), QString("Ready"));
        QVERIFY(!parts.transport->playBusy());
        QVERIFY(parts.inputPanel->content()->isEnabled());
        QVERIFY(parts.toolbarAction(cmd::kToolbarOptions)->isEnabled());
        for (int id : idleOnly) {
            QVERIFY(enabled(parts, id));
        }
        row = trayRow(parts);
        QVERIFY(row.play && row.record && !row.pause && !row.stop && !row.restart);
        QCOMPARE(rig.opened.size(), 1u);
    }

    void shortcutsIgnoreHeldKeys() {
        test::WindowRig rig;
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(parts.display, &repeat);
        QVERIFY(rig.opened.empty());
        QTest::keyClick(parts.display, Qt::Key_F5);
        QTRY_COMPARE(parts.display->indicatorText(), QString("Recording..."));
        QTest::keyClick(parts.display, Qt::Key_F5);
        QCOMPARE(rig.opened.size(), 1u);
        QTest::keyClick(parts.display, Qt::Key_F7);
        QCOMPARE(parts.display->indicatorText(), QString("Ready"));
        // Space in a text field types a blank instead of playing.
        parts.outputPanel->setExpanded(true);
        parts.folder->setFocus();
        QTRY_VERIFY(parts.folder->hasFocus());
        parts.folder->setText("a");
        QTest::keyClick(parts.folder, Qt::Key_Space);
        QCOMPARE(parts.folder->text(), QString("a "));
    }

    // Hidden (in the tray) or minimised (no tray), the clock and meter draw nothing; they show
    // the latest values when the window comes back.
    void hiddenWindowDrawsNothingAndCatchesUp() {
        test::WindowRig rig;
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QVERIFY(!parts.tray->hasIcon());
        PaintCounter counter(&window);
        for (const bool minimise : {true, false}) {
            window.presenter().ShowTime(1000);
            window.presenter().ShowLevels(test::LevelsOf({-40, -40}));
            minimise ? window.HideWindow() : window.hide();
            QCOMPARE(window.isMinimized(), minimise);
            QCoreApplication::processEvents();
            counter.paints = 0;
            window.presenter().ShowTime(65000);
            window.presenter().ShowLevels(test::LevelsOf({-20, -20}));
            window.presenter().ShowLevel(-6);
            QTest::qWait(100);
            QCOMPARE(counter.paints, 0);
            QCOMPARE(parts.display->timeText(), QString("0:00:01"));
            QCOMPARE(int(parts.meter->levels().levels[0]), -40);

            window.RestoreAndActivate();
            QTRY_VERIFY(counter.paints > 0);
            QCOMPARE(parts.display->timeText(), QString("0:01:05"));
            QCOMPARE(int(parts.meter->levels().levels[1]), -6);
        }
    }

    // A first run offers the setup only on a display; floating keeps the window where it is.
    void firstRunSetupWaitsForADisplayAndFloatKeepsThePlace() {
        test::WindowRig rig;
        MainWindow& window = rig.open();
        const test::WindowParts parts(window);
        window.move(30, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(LRecordingSession::kFirstRunMs + 200);
        QCOMPARE(rig.settings.ReadSettingString("Settings", "InstallWizRun", "unset"),
                 std::string("unset"));
        QCOMPARE(parts.statusBar->findChild<QLabel*>()->text(),
                 QString("Sonaro Sound Recorder v 3.03"));

        const QPoint where = window.pos();
        window.RunCommand(cmd::kFloat);
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(parts.menu->item(cmd::kFloat)->isChecked());
        QCOMPARE(rig.settings.ReadSettingString("Settings", "Float", ""), std::string("1"));
        QCOMPARE(window.pos(), where);
        QVERIFY(window.isVisible());
    }

    void clockAndIndicatorTexts() {
        StatusDisplay display;
        QCOMPARE(display.timeText(), QStringLiteral("0:00:00"));
        display.showTime(3723999);
        QCOMPARE(display.timeText(), QStringLiteral("1:02:03"));
        display.showTime(-5000);
        QCOMPARE(display.timeText(), QStringLiteral("-0:00:05"));
        display.showIndicator(2);
        QCOMPARE(display.indicatorText(), QStringLiteral("Waiting for voice input..."));
        display.showIndicator(9);
        QCOMPARE(display.indicatorText(), QString());
    }

    // Closing keeps the program running. Without a tray a hidden window could not be found
    // again: "-hide" minimises it.
    void closingAndHidingKeepTheWindowWithinReach() {
        BareWindow rig;
        QSignalSpy closed(&rig.window, &MainWindow::closedNow);
        rig.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QVERIFY(!test::PartOf<TrayController>(rig.window)->hasIcon());
        rig.window.close();
        QVERIFY(rig.state() != "shown");
        QCOMPARE(closed.count(), 0);
        rig.application.ProcessCommandLine({"sonaro", "-SHOW"});
        QCOMPARE(rig.state(), "shown");
        rig.application.ProcessCommandLine({"sonaro", "-hide"});
        QCOMPARE(rig.state(), "minimised");
        rig.application.ProcessCommandLine({"sonaro", "-show"});
        QCOMPARE(rig.state(), "shown");
    }

    void crashReportsNameTheCommandWhileItRuns() {
        MarkActivityMainThread();
        SetActivityPhase(ActivityPhase::Running);
        BareWindow rig;
        std::string during;
        MainWindow::Services services;
        services.formats = &rig.formats;
        services.openOptions = [&during](int) {
            char context[128];
            FormatActivityContext(context, sizeof context);
            during = context;
        };
        rig.window.SetServices(std::move(services));
        rig.window.RunCommand(cmd::kToolbarOptions);
        QCOMPARE(during, "Main(Cmd" + std::to_string(cmd::kToolbarOptions) + ")");
        char after[128];
        FormatActivityContext(after, sizeof after);
        QCOMPARE(std::string(after),
                 "MainUkn0(Msg0LstCmd" + std::to_string(cmd::kToolbarOptions) + ")");
    }

    void exitClosesOnceAndSavesThePosition() {
        BareWindow rig;
        QSignalSpy closed(&rig.window, &MainWindow::closedNow);
        rig.window.move(40, 30);
        rig.window.show();
        rig.application.ProcessCommandLine({"sonaro", "-exit", "-exit"});
        QCOMPARE(closed.count(), 0);  // "close now" is posted, not applied inside the options
        QVERIFY(closed.wait(5000));
        QTest::qWait(20);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(rig.settings.ReadSettingInt("MainWindow", "X", -1), rig.window.pos().x());
        QCOMPARE(rig.settings.ReadSettingInt("MainWindow", "Y", -1), rig.window.pos().y());
        QCOMPARE(rig.settings.ReadSettingString("Settings", "HaveRun", ""), std::string("1"));
    }

    void stopTimerCompletesAndExits() {
        BareWindow rig;
        QSignalSpy closed(&rig.window, &MainWindow::closedNow);
        rig.application.ProcessCommandLine({"sonaro", "-ms", "50"});
        QVERIFY(closed.wait(5000));
        QCOMPARE(rig.commands.done, 1);
    }

    // Centred at first; a stored place off the desktop is pulled back onto it.
    void placementKeepsTheWindowOnTheDesktop() {
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        BareWindow rig;
        rig.window.PlaceWindow();
        const QPoint centre = QRect(rig.window.pos(), rig.window.size()).center();
        QVERIFY((centre - desktop.center()).manhattanLength() <= 2);
        QVERIFY(rig.window.width() > rig.window.height());

        rig.settings.WriteSettingInt("MainWindow", "X", desktop.right() + 500);
        rig.settings.WriteSettingInt("MainWindow", "Y", -300);
        MainWindow outside(rig.application, rig.settings);
        outside.PlaceWindow();
        QVERIFY(desktop.contains(QRect(outside.pos(), outside.size())));
        QCOMPARE(outside.pos().y(), desktop.top());

        rig.settings.WriteSettingInt("MainWindow", "Height", 100);
        MainWindow stored(rig.application, rig.settings);
        stored.PlaceWindow();
        QCOMPARE(stored.pos(), QPoint(desktop.right() + 500, -300));
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::MainWindowViewTest)
#include "main_window_view_test.moc"
