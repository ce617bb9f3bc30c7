#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonaro {

// Authenticated encryption of small secrets (stored passwords) with a key private to the user.
// `context` is bound into the result: a sealed value only opens with the same context, so a
// value copied under another name does not decrypt.
//
// Any thread may call both operations.
class SecretCipher {
  public:
    virtual ~SecretCipher() = default;

    // Nothing when no key is available or encryption failed; `problem` then tells the user why
    // ("the key file <path> is not a regular file").
    virtual std::optional<std::string> Seal(std::string_view plain, std::string_view context,
                                            std::string& problem) = 0;
    // Nothing when the key is missing, the data was changed or belongs to another context.
    virtual std::optional<std::string> Open(std::string_view sealed, std::string_view context) = 0;
};

}  // namespace sonaro
