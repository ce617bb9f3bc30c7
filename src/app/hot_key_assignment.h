#pragma once

#include <optional>

#include "app/hot_keys.h"
#include "support/field_complaint.h"

namespace sonaro {

// What the "Press Key" dialog does with a pressed key.
enum class PressedKey {
    Take,    // the key (with the modifiers held) is the new hot key
    Cancel,  // Esc: the dialog closes without a key
    Ignore,  // Shift, Ctrl or Alt alone, Enter, or a key without a code: keep waiting
};

PressedKey ClassifyPressedKey(KeyCode code);

enum class HotKeyField : int { ChangeButton = 0, KeyText = 1 };

// OK in the "Add New Hot-Key" / "Change Hot-Key Command" dialog. `slot` is the entry's slot when
// changing (nothing when adding), `original` its key when the dialog opened, `key` 0 while none
// was pressed. Refuses a missing key and a key another hot key has (unless it is the entry's own
// key); otherwise writes "Key" and "Command", allocating a slot for a new entry.
std::optional<FieldComplaint> SaveHotKeyAssignment(HotKeyStore& store, std::optional<int> slot,
                                                   KeyCode original, KeyCode key, int command);

}  // namespace sonaro
