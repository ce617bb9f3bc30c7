#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/prompter.h"

namespace sonaro {

// Why a page of the options refused its values: the field to point at (a page's own field
// number), the text and title of the balloon shown there. An empty text means the user was
// already told (a message box or a component install) and only the focus moves to the field.
struct FieldComplaint {
    int field = 0;
    std::string text;
    std::string title;
    // Shown as a message box with this icon instead of a balloon.
    std::optional<PromptIcon> messageBoxIcon;
};

// A complaint shown as a balloon at `field`.
template <typename Field>
FieldComplaint Balloon(Field field, std::string_view text, std::string_view title) {
    return {static_cast<int>(field), std::string(text), std::string(title), std::nullopt};
}

}  // namespace sonaro
