#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/window_commands.h"
#include "platform/x11_hot_key_registrar.h"
#include "support/xvfb_server.h"
#include "ui/qt_key_codes.h"
#include "ui/status_display.h"
#include "window_rig.h"

// Last: Xlib's macros (None, KeyPress, ...) would break the headers above.
#include <X11/Xlib.h>

namespace sonaro {

// The program's window and the X11 key grabs on a private Xvfb (the xcb platform), driven by
// xdotool: system-wide hot keys while another program's window has the focus, and F5 held down.
class HotKeyRecordingTest : public QObject {
    Q_OBJECT

  public:
    explicit HotKeyRecordingTest(test::XvfbServer& server) : m_server(server) {}

  private slots:
    void initTestCase() {
        m_other = XOpenDisplay(m_server.display().c_str());
        QVERIFY(m_other != nullptr);
        m_otherWindow =
            XCreateSimpleWindow(m_other, DefaultRootWindow(m_other), 600, 400, 200, 100, 0, 0, 0);
        XMapWindow(m_other, m_otherWindow);
        XSync(m_other, False);
    }

    void cleanupTestCase() {
        if (m_other != nullptr) {
            XCloseDisplay(m_other);
        }
    }

    void grabsReportOncePerPressAndAreRefusedWhenTaken() {
        focusOtherWindow();
        std::vector<int> pressed;
        X11HotKeyRegistrar registrar([&](int id) { pressed.push_back(id); }, m_server.display());
        QVERIFY(registrar.available());
        QVERIFY(registrar.Register(0, MakeKeyCode('R', kModCtrl | kModAlt)));
        QVERIFY(registrar.Register(1, MakeKeyCode(0x78, 0)));  // F9
        QCOMPARE(xdotool({"key", "ctrl+alt+r"}), 0);
        QTRY_COMPARE(pressed, std::vector<int>{0});
        QCOMPARE(xdotool({"key", "r"}), 0);  // without the modifiers: not ours
        QCOMPARE(xdotool({"key", "ctrl+alt+r"}), 0);
        QTRY_COMPARE(pressed, (std::vector<int>{0, 0}));
        // Held down through the auto-repeat delay: one report.
        QCOMPARE(xdotool({"keydown", "F9", "sleep", "0.8", "keyup", "F9"}), 0);
        QTRY_COMPARE(pressed, (std::vector<int>{0, 0, 1}));
        QTest::qWait(100);
        QCOMPARE(pressed.size(), 3u);
        registrar.Unregister(1);
        QCOMPARE(xdotool({"key", "F9"}), 0);
        QTest::qWait(100);
        QCOMPARE(pressed.size(), 3u);

        X11HotKeyRegistrar first([](int) {}, m_server.display());
        X11HotKeyRegistrar second([](int) {}, m_server.display());
        QVERIFY(first.Register(0, MakeKeyCode('K', kModShift | kModCtrl)));
        QVERIFY(!second.Register(0, MakeKeyCode('K', kModShift | kModCtrl)));
        QVERIFY(second.Register(1, MakeKeyCode('J', kModShift | kModCtrl)));
        QVERIFY(!first.Register(2, MakeKeyCode(0xE9, 0)));  // no key on this keyboard
        X11HotKeyRegistrar nowhere([](int) {}, ":65000");
        QVERIFY(!nowhere.available());
        QVERIFY(!nowhere.Register(0, MakeKeyCode('R', kModCtrl)));
    }

    void hotKeyRecordsWhileAnotherWindowHasTheFocus() {
        test::WindowRig rig;
        rig.settings.WriteSettingBool("Settings", "InstallWizRun", true);
        HotKeyStore store(rig.settings);
        store.WriteHotKey(store.AllocateSlot(), MakeKeyCode('P', kModCtrl | kModAlt),
                          static_cast<int>(HotKeyCommand::Pause));
        store.WriteHotKey(store.AllocateSlot(), MakeKeyCode('R', kModCtrl | kModAlt),
                          static_cast<int>(HotKeyCommand::Record));
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QVERIFY(window.EnableHotKeys(std::make_unique<X11HotKeyRegistrar>(
            [&window](int position) { window.OnHotKey(position); }, m_server.display())));
        focusOtherWindow();
        QVERIFY(!window.isActiveWindow());

        QCOMPARE(xdotool({"key", "ctrl+alt+r"}), 0);
        QTRY_COMPARE(parts.display->indicatorText(), QString("Recording..."));
        QCOMPARE(rig.opened.size(), 1u);
        QCOMPARE(xdotool({"key", "ctrl+alt+r"}), 0);
        QTest::qWait(300);
        QCOMPARE(rig.opened.size(), 1u);
        QCOMPARE(parts.display->indicatorText(), QString("Recording..."));
        QVERIFY(rig.session.captureRunning());

        QCOMPARE(xdotool({"key", "ctrl+alt+p"}), 0);
        QTRY_VERIFY(rig.session.isPaused());
    }

    void heldF5StartsOneRecording() {
        test::WindowRig rig;
        rig.settings.WriteSettingBool("Settings", "InstallWizRun", true);
        QVERIFY(rig.show());
        MainWindow& window = *rig.window;
        const test::WindowParts parts(window);
        QSignalSpy commands(parts.shortcuts, &ShortcutFilter::command);
        const std::string id = std::to_string(window.winId());
        QCOMPARE(xdotool({"windowfocus", "--sync", id}), 0);
        QTRY_VERIFY(window.isActiveWindow());
        QCOMPARE(xdotool({"keydown", "F5", "sleep", "0.8", "keyup", "F5"}), 0);
        QTRY_COMPARE(parts.display->indicatorText(), QString("Recording..."));
        QTest::qWait(200);
        QCOMPARE(commands.count(), 1);
        QCOMPARE(commands.first().first().toInt(), cmd::kRecord);
        QCOMPARE(rig.opened.size(), 1u);
    }

  private:
    void focusOtherWindow() {
        XSetInputFocus(m_other, m_otherWindow, RevertToParent, CurrentTime);
        XSync(m_other, False);
        QTest::qWait(100);
    }

    int xdotool(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return m_server.Run(argv);
    }

    test::XvfbServer& m_server;
    Display* m_other = nullptr;
    Window m_otherWindow = 0;
};

}  // namespace sonaro

int main(int argc, char** argv) {
    // The X server comes first: the window runs on it with the xcb platform.
    sonaro::test::XvfbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "FAIL: %s\n", server.error().c_str());
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication application(argc, argv);
    sonaro::HotKeyRecordingTest test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "hot_key_recording_test.moc"
