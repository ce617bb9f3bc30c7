#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "app/hot_keys.h"
#include "options_fixture.h"
#include "ui/hot_key_dialog.h"
#include "ui/hot_keys_page.h"
#include "ui/options_dialog.h"
#include "ui/press_key_dialog.h"

namespace sonaro {
namespace {

constexpr KeyCode kCtrlAltR = MakeKeyCode('R', kModCtrl | kModAlt);
constexpr KeyCode kF9 = MakeKeyCode(0x78, 0);
constexpr KeyCode kShiftF10 = MakeKeyCode(0x79, kModShift);

}  // namespace

class HotKeysPageTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_fixture = std::make_unique<test::OptionsFixture>();
        std::tie(m_dialog, m_page) = m_fixture->showPage<HotKeysPage>(OptionsDialog::kHotKeys);
    }
    void cleanup() {
        BalloonTip::HideCurrent();
        m_dialog.reset();
        m_fixture.reset();
    }

    void deletedSlotIsReusedFirst() {
        QVERIFY(m_page->unavailableNote()->isHidden());
        QCOMPARE(m_page->list()->topLevelItemCount(), 0);
        QVERIFY(!m_page->changeButton()->isEnabled() && !m_page->deleteButton()->isEnabled());
        add(kCtrlAltR, 0);
        add(kF9, 3);
        add(kShiftF10, 4);
        QCOMPARE(m_page->list()->topLevelItemCount(), 3);
        QCOMPARE(m_page->list()->topLevelItem(0)->text(0), QStringLiteral("Ctrl+Alt+R"));
        QCOMPARE(m_page->list()->topLevelItem(1)->text(1), QStringLiteral("Stop"));
        QVERIFY(test::SaveScreenshot(*m_dialog, "options_hotkeys_filled.png"));

        m_page->list()->setCurrentItem(m_page->list()->topLevelItem(0));
        QVERIFY(m_page->changeButton()->isEnabled() && m_page->deleteButton()->isEnabled());
        m_fixture->prompter.answer(PromptAnswer::Ok);
        QTest::mouseClick(m_page->deleteButton(), Qt::LeftButton);
        QCOMPARE(m_fixture->prompter.shown().back().title, "Delete Hot-Key(s)");
        QCOMPARE(m_page->list()->topLevelItemCount(), 2);

        add(MakeKeyCode(0x24, kModCtrl), 1);
        HotKeyStore store(m_fixture->settings);
        const std::vector<HotKey> keys = store.HotKeys();
        QCOMPARE(keys.size(), std::size_t{3});
        QCOMPARE(keys[0].slot, 0);
        QCOMPARE(keys[0].command, 1);
        QCOMPARE(m_page->list()->topLevelItem(0)->text(1), QStringLiteral("Pause"));
        QCOMPARE(m_fixture->settings.ReadSettingInt("Hotkey\\Details", "MaxID", 0), 3L);
    }

    // A session without system-wide keys (Wayland without a portal that offers them) says so.
    void unavailableKeysAreNamedOnThePage() {
        m_dialog.reset();
        m_fixture->hotKeysAvailable = false;
        std::tie(m_dialog, m_page) = m_fixture->showPage<HotKeysPage>(OptionsDialog::kHotKeys);
        QVERIFY(m_page->unavailableNote()->isVisible());
        QVERIFY(m_page->unavailableNote()->text().contains(QStringLiteral("unavailable")));
    }

    void aKeyAssignedTwiceIsRefusedButItsOwnKeyIsKept() {
        add(kCtrlAltR, 0);
        HotKeyStore store(m_fixture->settings);
        HotKeyDialog second(store, m_fixture->prompter, std::nullopt);
        second.show();
        QCOMPARE(second.windowTitle(), QStringLiteral("Add New Hot-Key"));
        QVERIFY(!test::Accepts(second));
        QCOMPARE(test::ShownBalloon::Current(),
                 (test::ShownBalloon{"Hot-key Required", "Please click here to assign the hot-key.",
                                     second.changeButton()}));
        second.setKey(kCtrlAltR);
        QVERIFY(!test::Accepts(second));
        QCOMPARE(test::ShownBalloon::Current(),
                 (test::ShownBalloon{"Key Already In Use",
                                     "Sorry, the key you have chosen is already in use as a "
                                     "hot-key. Please choose another key.",
                                     second.keyText()}));
        QCOMPARE(store.HotKeys().size(), std::size_t{1});

        HotKeyDialog change(store, m_fixture->prompter, store.HotKeys()[0]);
        change.show();
        QCOMPARE(change.windowTitle(), QStringLiteral("Change Hot-Key Command"));
        QCOMPARE(change.keyText()->text(), QStringLiteral("Ctrl+Alt+R"));
        QVERIFY(test::SaveScreenshot(change, "hotkey_change.png"));
        change.commandList()->setCurrentIndex(2);
        QVERIFY(test::Accepts(change));
        QCOMPARE(store.HotKeys()[0].command, 2);
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

  private:
    // "Add..." with `key` and `command`, through the page's own dialog.
    void add(KeyCode key, int command) {
        bool accepted = false;
        test::WhenShown<HotKeyDialog>([&](HotKeyDialog* dialog) {
            dialog->setKey(key);
            dialog->commandList()->setCurrentIndex(command);
            accepted = test::Accepts(*dialog);
        });
        QTest::mouseClick(m_page->addButton(), Qt::LeftButton);
        QVERIFY(accepted);
    }

    std::unique_ptr<test::OptionsFixture> m_fixture;
    std::unique_ptr<OptionsDialog> m_dialog;
    HotKeysPage* m_page = nullptr;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::HotKeysPageTest)
#include "hot_keys_page_test.moc"
