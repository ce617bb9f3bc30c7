#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_store.h"

namespace sonaro {

// Key codes as stored: the low 16 bits are a Windows virtual-key code, the high 16 bits the
// modifiers (1 Alt, 2 Ctrl, 4 Shift), so bit 16 is Alt, bit 17 Ctrl and bit 18 Shift.
using KeyCode = std::uint32_t;
inline constexpr KeyCode kModAlt = 1;
inline constexpr KeyCode kModCtrl = 2;
inline constexpr KeyCode kModShift = 4;

inline constexpr KeyCode MakeKeyCode(unsigned virtualKey, unsigned modifiers) {
    return (static_cast<KeyCode>(modifiers & 0xFFFF) << 16) | (virtualKey & 0xFFFF);
}
inline constexpr unsigned VirtualKeyOf(KeyCode code) {
    return code & 0xFFFF;
}
inline constexpr unsigned ModifiersOf(KeyCode code) {
    return code >> 16;
}

// Commands a hot key runs; the stored number is the position in this list.
enum class HotKeyCommand : int { Record = 0, Pause = 1, GoToStart = 2, Stop = 3, Recordings = 4 };
inline constexpr int kHotKeyCommandCount = 5;

// "Record", "Pause", "Go to Start", "Stop", "Open Recordings Window"; empty for other numbers.
std::string_view HotKeyCommandName(int command);

// "Ctrl+", "Alt+", "Shift+" as set, then the key's name ("F5", "Home", "Num 5", "R").
std::string KeyText(KeyCode code);
// The name of a virtual key alone; "Key 0xNN" for codes without a name.
std::string VirtualKeyName(unsigned virtualKey);

// The main window's command for a fixed shortcut (Space, F5, F6, Home, F7, Ctrl+L, F1); 0 for
// other keys.
int ShortcutCommand(KeyCode code);

struct HotKey {
    int slot = 0;
    KeyCode key = 0;
    int command = 0;
};

// The user's hot keys in the settings: "MaxID" of "Hotkey\Details" counts the slots ever
// allocated, and each hot key is the subkey named by its slot number with "Key" and "Command".
// The hot keys' order is ascending slot number; a hot key's position in it is its identifier.
// User-interface thread.
class HotKeyStore {
  public:
    explicit HotKeyStore(SettingsStore& settings) : m_settings(settings) {}

    std::vector<HotKey> HotKeys() const;
    // The lowest free slot below "MaxID"; when every slot is taken, "MaxID" grows by one and its
    // old value is returned.
    int AllocateSlot();
    void WriteHotKey(int slot, KeyCode key, int command);
    void DeleteHotKey(int slot);
    // The command of the hot key at `position`; -1 when there is none.
    int CommandOfHotKey(int position) const;
    // True when a hot key other than the one in `exceptSlot` has exactly this code.
    bool KeyInUse(KeyCode key, int exceptSlot = -1) const;

  private:
    SettingsStore& m_settings;
};

// The system-wide key registrations, as the platform offers them. Identifiers are positions in
// the hot keys' order. User-interface thread.
class HotKeyRegistrar {
  public:
    virtual ~HotKeyRegistrar() = default;
    // False when the desktop offers no system-wide keys (no X11 display).
    virtual bool available() const = 0;
    // False when the key cannot be registered (taken by another program, no such key here).
    virtual bool Register(int id, KeyCode key) = 0;
    virtual void Unregister(int id) = 0;
};

// Registers every stored hot key under its position; refused keys are skipped silently. Returns
// how many were registered.
int RegisterAllHotKeys(HotKeyRegistrar& registrar, const HotKeyStore& store);
void UnregisterAllHotKeys(HotKeyRegistrar& registrar, const HotKeyStore& store);

}  // namespace sonaro
