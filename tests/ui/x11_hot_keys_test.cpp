#include <QtTest>

#include <X11/Xlib.h>

#include <vector>

#include "platform/x11_hot_key_registrar.h"
#include "support/xvfb_server.h"

namespace sonaro {

// Grabs on a private Xvfb, pressed with xdotool while a window of another client has the focus.
class X11HotKeysTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        m_server = std::make_unique<test::XvfbServer>();
        if (!m_server->running()) {
            QFAIL(qPrintable(QString::fromStdString(m_server->error())));
        }
        // Another program's window with the keyboard focus.
        m_other = XOpenDisplay(m_server->display().c_str());
        QVERIFY(m_other != nullptr);
        const Window window =
            XCreateSimpleWindow(m_other, DefaultRootWindow(m_other), 0, 0, 200, 100, 0, 0, 0);
        XMapWindow(m_other, window);
        XSync(m_other, False);
        XSetInputFocus(m_other, window, RevertToParent, CurrentTime);
        XSync(m_other, False);
    }

    void cleanupTestCase() {
        if (m_other != nullptr) {
            XCloseDisplay(m_other);
        }
        m_server.reset();
    }

    void pressReportsTheIdentifierOncePerPress() {
        std::vector<int> pressed;
        X11HotKeyRegistrar registrar([&](int id) { pressed.push_back(id); }, m_server->display());
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
    }

    void aKeyTakenByAnotherProgramIsRefused() {
        X11HotKeyRegistrar first([](int) {}, m_server->display());
        X11HotKeyRegistrar second([](int) {}, m_server->display());
        QVERIFY(first.Register(0, MakeKeyCode('K', kModShift | kModCtrl)));
        QVERIFY(!second.Register(0, MakeKeyCode('K', kModShift | kModCtrl)));
        QVERIFY(second.Register(1, MakeKeyCode('J', kModShift | kModCtrl)));
        QVERIFY(!first.Register(2, MakeKeyCode(0xE9, 0)));  // no key on this keyboard
    }

    void unavailableWithoutADisplay() {
        X11HotKeyRegistrar registrar([](int) {}, ":65000");
        QVERIFY(!registrar.available());
        QVERIFY(!registrar.Register(0, MakeKeyCode('R', kModCtrl)));
    }

  private:
    int xdotool(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return m_server->Run(argv);
    }

    std::unique_ptr<test::XvfbServer> m_server;
    Display* m_other = nullptr;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::X11HotKeysTest)
#include "x11_hot_keys_test.moc"
