#include "app/hot_keys.h"

#include <gtest/gtest.h>

#include <map>

#include "support/settings_home.h"

namespace sonaro {
namespace {

// Registers like the desktop does: a key taken by "another program" is refused.
class ScriptedRegistrar : public HotKeyRegistrar {
  public:
    bool isAvailable = true;
    KeyCode takenElsewhere = 0;
    std::map<int, KeyCode> registered;

    bool available() const override { return isAvailable; }
    bool Register(int id, KeyCode key) override {
        if (key == takenElsewhere) {
            return false;
        }
        registered[id] = key;
        return true;
    }
    void Unregister(int id) override { registered.erase(id); }
};

class HotKeysTest : public test::SettingsTest {
  protected:
    int add(KeyCode key, HotKeyCommand command) {
        const int slot = m_store.AllocateSlot();
        m_store.WriteHotKey(slot, key, static_cast<int>(command));
        return slot;
    }

    HotKeyStore m_store{m_settings};
};

constexpr KeyCode kCtrlAltR = MakeKeyCode('R', kModCtrl | kModAlt);

TEST(KeyCodes, TextAndModifierBits) {
    EXPECT_EQ(kCtrlAltR, 0x30052u);  // Alt is bit 16, Ctrl bit 17
    EXPECT_EQ(KeyText(kCtrlAltR), "Ctrl+Alt+R");
    EXPECT_EQ(KeyText(MakeKeyCode(0x74, kModShift | kModAlt | kModCtrl)), "Ctrl+Alt+Shift+F5");
    EXPECT_EQ(KeyText(MakeKeyCode(0x22, kModShift)), "Shift+Page Down");
    EXPECT_EQ(KeyText(MakeKeyCode(0x65, 0)), "Num 5");
    EXPECT_EQ(KeyText(MakeKeyCode(0x87, 0)), "F24");
    EXPECT_EQ(KeyText(MakeKeyCode('7', kModCtrl)), "Ctrl+7");
    EXPECT_EQ(KeyText(MakeKeyCode(0xE9, 0)), "Key 0xE9");
}

// The fixed keys need their exact modifiers.
TEST(KeyCodes, FixedShortcuts) {
    EXPECT_EQ(ShortcutCommand(MakeKeyCode(0x74, 0)), 1001);
    EXPECT_EQ(ShortcutCommand(MakeKeyCode('L', kModCtrl)), 1009);
    EXPECT_EQ(ShortcutCommand(MakeKeyCode('L', 0)), 0);
    EXPECT_EQ(ShortcutCommand(MakeKeyCode(0x74, kModShift)), 0);
}

TEST_F(HotKeysTest, FreedSlotIsReusedAndOrdersFirst) {
    EXPECT_TRUE(m_store.HotKeys().empty());
    EXPECT_EQ(add(kCtrlAltR, HotKeyCommand::Record), 0);
    EXPECT_EQ(add(MakeKeyCode(0x75, 0), HotKeyCommand::Pause), 1);
    EXPECT_EQ(add(MakeKeyCode(0x76, 0), HotKeyCommand::Stop), 2);
    EXPECT_EQ(m_settings.ReadSettingString("Hotkey\\Details", "MaxID", ""), "3");
    EXPECT_EQ(m_settings.ReadSettingString("Hotkey\\Details\\1", "Key", ""), "117");
    EXPECT_EQ(m_settings.ReadSettingString("Hotkey\\Details\\1", "Command", ""), "1");

    m_store.DeleteHotKey(0);
    EXPECT_EQ(m_store.CommandOfHotKey(0), static_cast<int>(HotKeyCommand::Pause));
    EXPECT_EQ(add(MakeKeyCode('S', kModCtrl), HotKeyCommand::Recordings), 0);
    EXPECT_EQ(m_settings.ReadSettingString("Hotkey\\Details", "MaxID", ""), "3");
    const auto keys = m_store.HotKeys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].command, static_cast<int>(HotKeyCommand::Recordings));
    EXPECT_EQ(m_store.CommandOfHotKey(3), -1);
}

TEST_F(HotKeysTest, SlotsAtOrAboveMaxIdAreNotHotKeys) {
    m_store.WriteHotKey(4, kCtrlAltR, 0);
    EXPECT_TRUE(m_store.HotKeys().empty());
    m_settings.WriteSettingInt("Hotkey\\Details", "MaxID", 5);
    ASSERT_EQ(m_store.HotKeys().size(), 1u);
    EXPECT_EQ(m_store.AllocateSlot(), 0);
}

TEST_F(HotKeysTest, KeyInUseIgnoresTheEntryBeingChanged) {
    const int slot = add(kCtrlAltR, HotKeyCommand::Record);
    add(MakeKeyCode(0x75, 0), HotKeyCommand::Pause);
    EXPECT_TRUE(m_store.KeyInUse(kCtrlAltR));
    EXPECT_FALSE(m_store.KeyInUse(kCtrlAltR, slot));
    EXPECT_FALSE(m_store.KeyInUse(MakeKeyCode('R', kModCtrl)));
}

TEST_F(HotKeysTest, RegistersByPositionAndSkipsRefusedKeys) {
    add(kCtrlAltR, HotKeyCommand::Record);
    add(MakeKeyCode(0x75, 0), HotKeyCommand::Pause);
    add(MakeKeyCode(0x76, 0), HotKeyCommand::Stop);
    ScriptedRegistrar registrar;
    registrar.takenElsewhere = MakeKeyCode(0x75, 0);
    EXPECT_EQ(RegisterAllHotKeys(registrar, m_store), 2);
    EXPECT_EQ(registrar.registered.at(0), kCtrlAltR);
    EXPECT_EQ(registrar.registered.at(2), MakeKeyCode(0x76, 0));
    UnregisterAllHotKeys(registrar, m_store);
    EXPECT_TRUE(registrar.registered.empty());

    registrar.isAvailable = false;
    EXPECT_EQ(RegisterAllHotKeys(registrar, m_store), 0);
    EXPECT_TRUE(registrar.registered.empty());
}

}  // namespace
}  // namespace sonaro
