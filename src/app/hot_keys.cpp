#include "app/hot_keys.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace sonaro {
namespace {

constexpr std::array<std::string_view, kHotKeyCommandCount> kCommandNames = {
    "Record", "Pause", "Go to Start", "Stop", "Open Recordings Window"};

// Names of the virtual keys that are neither letters, digits nor function keys.
constexpr std::pair<unsigned, std::string_view> kKeyNames[] = {
    {0x03, "Break"},
    {0x08, "Backspace"},
    {0x09, "Tab"},
    {0x0C, "Clear"},
    {0x0D, "Enter"},
    {0x13, "Pause"},
    {0x14, "Caps Lock"},
    {0x1B, "Esc"},
    {0x20, "Space"},
    {0x21, "Page Up"},
    {0x22, "Page Down"},
    {0x23, "End"},
    {0x24, "Home"},
    {0x25, "Left"},
    {0x26, "Up"},
    {0x27, "Right"},
    {0x28, "Down"},
    {0x2C, "Print"},
    {0x2D, "Insert"},
    {0x2E, "Delete"},
    {0x2F, "Help"},
    {0x5B, "Left Super"},
    {0x5C, "Right Super"},
    {0x5D, "Menu"},
    {0x6A, "Num *"},
    {0x6B, "Num +"},
    {0x6C, "Num ,"},
    {0x6D, "Num -"},
    {0x6E, "Num Del"},
    {0x6F, "Num /"},
    {0x90, "Num Lock"},
    {0x91, "Scroll Lock"},
    {0xAD, "Mute"},
    {0xAE, "Volume Down"},
    {0xAF, "Volume Up"},
    {0xB0, "Next Track"},
    {0xB1, "Previous Track"},
    {0xB2, "Stop Media"},
    {0xB3, "Play/Pause Media"},
    {0xBA, ";"},
    {0xBB, "="},
    {0xBC, ","},
    {0xBD, "-"},
    {0xBE, "."},
    {0xBF, "/"},
    {0xC0, "`"},
    {0xDB, "["},
    {0xDC, "\\"},
    {0xDD, "]"},
    {0xDE, "'"},
};

constexpr std::pair<KeyCode, int> kShortcuts[] = {
    {MakeKeyCode(0x20, 0), 1005},        // Space: Play
    {MakeKeyCode(0x74, 0), 1001},        // F5: Record
    {MakeKeyCode(0x75, 0), 1002},        // F6: Pause
    {MakeKeyCode(0x24, 0), 1003},        // Home: Restart
    {MakeKeyCode(0x76, 0), 1004},        // F7: Stop and Mark done
    {MakeKeyCode('L', kModCtrl), 1009},  // Ctrl+L: Recordings Window
    {MakeKeyCode(0x70, 0), 9},           // F1: Help Contents
};

}  // namespace

std::string_view HotKeyCommandName(int command) {
    if (command < 0 || command >= kHotKeyCommandCount) {
        return {};
    }
    return kCommandNames[command];
}

std::string VirtualKeyName(unsigned virtualKey) {
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
        return std::string(1, static_cast<char>(virtualKey));
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        return std::string("Num ").append(std::to_string(virtualKey - 0x60));
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {
        return std::string("F").append(std::to_string(virtualKey - 0x70 + 1));
    }
    for (const auto& [key, name] : kKeyNames) {
        if (key == virtualKey) {
            return std::string(name);
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "Key 0x%02X", virtualKey);
    return text;
}

std::string KeyText(KeyCode code) {
    const unsigned modifiers = ModifiersOf(code);
    std::string text;
    if ((modifiers & kModCtrl) != 0) {
        text += "Ctrl+";
    }
    if ((modifiers & kModAlt) != 0) {
        text += "Alt+";
    }
    if ((modifiers & kModShift) != 0) {
        text += "Shift+";
    }
    return text + VirtualKeyName(VirtualKeyOf(code));
}

int ShortcutCommand(KeyCode code) {
    for (const auto& [key, command] : kShortcuts) {
        if (key == code) {
            return command;
        }
    }
    return 0;
}

std::vector<HotKey> HotKeyStore::HotKeys() const {
    std::vector<HotKey> keys;
    const int maxId = m_settings.Read(setting::kHotKeyMaxId);
    for (const int slot : m_settings.Slots(setting::kHotKeySlots)) {
        if (slot < maxId) {
            keys.push_back({slot, static_cast<KeyCode>(m_settings.Read(setting::kHotKeyKey, slot)),
                            m_settings.Read(setting::kHotKeyCommand, slot)});
        }
    }
    std::sort(keys.begin(), keys.end(),
              [](const HotKey& a, const HotKey& b) { return a.slot < b.slot; });
    return keys;
}

int HotKeyStore::AllocateSlot() {
    const int maxId = m_settings.Read(setting::kHotKeyMaxId);
    for (int slot = 0; slot < maxId; ++slot) {
        if (!m_settings.SlotExists(setting::kHotKeySlots, slot)) {
            return slot;
        }
    }
    m_settings.Write(setting::kHotKeyMaxId, maxId + 1);
    return maxId;
}

void HotKeyStore::WriteHotKey(int slot, KeyCode key, int command) {
    m_settings.Write(setting::kHotKeyKey, slot, static_cast<int>(key));
    m_settings.Write(setting::kHotKeyCommand, slot, command);
}

void HotKeyStore::DeleteHotKey(int slot) {
    m_settings.DeleteSlot(setting::kHotKeySlots, slot);
}

int HotKeyStore::CommandOfHotKey(int position) const {
    const std::vector<HotKey> keys = HotKeys();
    if (position < 0 || position >= static_cast<int>(keys.size())) {
        return -1;
    }
    return keys[position].command;
}

bool HotKeyStore::KeyInUse(KeyCode key, int exceptSlot) const {
    const std::vector<HotKey> keys = HotKeys();
    return std::any_of(keys.begin(), keys.end(), [&](const HotKey& hotKey) {
        return hotKey.slot != exceptSlot && hotKey.key == key;
    });
}

int RegisterAllHotKeys(HotKeyRegistrar& registrar, const HotKeyStore& store) {
    if (!registrar.available()) {
        return 0;
    }
    int registered = 0;
    const std::vector<HotKey> keys = store.HotKeys();
    for (int position = 0; position < static_cast<int>(keys.size()); ++position) {
        registered += registrar.Register(position, keys[position].key) ? 1 : 0;
    }
    return registered;
}

void UnregisterAllHotKeys(HotKeyRegistrar& registrar, const HotKeyStore& store) {
    const int count = static_cast<int>(store.HotKeys().size());
    for (int position = 0; position < count; ++position) {
        registrar.Unregister(position);
    }
}

}  // namespace sonaro
