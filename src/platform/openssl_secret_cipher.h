#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "settings/secret_cipher.h"

namespace sonaro {

// AES-256-GCM with a random per-user key kept in a file of mode 0600 (in the data folder). The
// key file is created on the first Seal, read on first use and kept for the life of the object.
// A sealed value is: version byte 1, 12-byte nonce, cipher text, 16-byte tag.
//
// Any thread may call it.
class OpenSslSecretCipher final : public SecretCipher {
  public:
    static constexpr std::size_t kKeyBytes = 32;
    static constexpr const char* kKeyFileName = "secret.key";

    explicit OpenSslSecretCipher(std::string keyFilePath);

    std::optional<std::string> Seal(std::string_view plain, std::string_view context,
                                    std::string& problem) override;
    std::optional<std::string> Open(std::string_view sealed, std::string_view context) override;

  private:
    using Key = std::array<std::uint8_t, kKeyBytes>;

    // The key, read from its file or (when `create`) made and written when there is none.
    // `problem` says why there is none; it stays empty when the file is only missing.
    const Key* key(bool create, std::string& problem);
    bool readKeyFile(Key& key, std::string& problem) const;
    bool createKeyFile(Key& key, std::string& problem) const;

    std::string m_keyFilePath;
    std::mutex m_mutex;
    std::optional<Key> m_key;
};

}  // namespace sonaro
