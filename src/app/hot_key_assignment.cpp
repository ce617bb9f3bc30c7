#include "app/hot_key_assignment.h"

namespace sonaro {
namespace {

constexpr unsigned kEnter = 0x0D;
constexpr unsigned kEscape = 0x1B;

bool isModifier(unsigned virtualKey) {
    return (virtualKey >= 0x10 && virtualKey <= 0x12) || (virtualKey >= 0xA0 && virtualKey <= 0xA5);
}

}  // namespace

PressedKey ClassifyPressedKey(KeyCode code) {
    const unsigned virtualKey = VirtualKeyOf(code);
    if (virtualKey == kEscape) {
        return PressedKey::Cancel;
    }
    if (virtualKey == 0 || virtualKey == kEnter || isModifier(virtualKey)) {
        return PressedKey::Ignore;
    }
    return PressedKey::Take;
}

std::optional<FieldComplaint> SaveHotKeyAssignment(HotKeyStore& store, std::optional<int> slot,
                                                   KeyCode original, KeyCode key, int command) {
    if (key == 0) {
        return Balloon(HotKeyField::ChangeButton, "Please click here to assign the hot-key.",
                       "Hot-key Required");
    }
    if (key != original && store.KeyInUse(key, slot.value_or(-1))) {
        return Balloon(HotKeyField::KeyText,
                       "Sorry, the key you have chosen is already in use as a hot-key. Please "
                       "choose another key.",
                       "Key Already In Use");
    }
    store.WriteHotKey(slot ? *slot : store.AllocateSlot(), key, command);
    return std::nullopt;
}

}  // namespace sonaro
