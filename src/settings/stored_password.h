#pragma once

#include <string>
#include <string_view>

#include "settings/secret_cipher.h"
#include "settings/settings_store.h"

namespace sonaro {

// A password kept below a per-user key: sealed in the binary value "_<name>" when the cipher
// works, else (no cipher, or sealing failed) as the plain text value "<name>". Writing the sealed
// form removes an earlier plain copy, so no readable copy stays behind.
class StoredPassword {
  public:
    // `cipher` may be null: passwords are then kept in plain text.
    StoredPassword(SettingsStore& settings, SecretCipher* cipher)
        : m_settings(settings), m_cipher(cipher) {}

    void Store(std::string_view keyPath, std::string_view name, std::string_view password);
    // The sealed value when it exists and opens (cut to 259 characters), else the plain value;
    // empty when neither exists.
    std::string Read(std::string_view keyPath, std::string_view name) const;

  private:
    SettingsStore& m_settings;
    SecretCipher* m_cipher;
};

// The SMTP password of the e-mail settings: "_SMTPPassword" / "SMTPPassword" below `keyPath`
// ("Software\Kestrix Audio\Sonaro\Email").
void StoreSmtpPassword(StoredPassword& passwords, std::string_view keyPath,
                       std::string_view password);
std::string ReadSmtpPassword(const StoredPassword& passwords, std::string_view keyPath);

// The FTP password of the transmit settings: "_Password" / "Password" of section "Ftp".
void StoreFtpPassword(StoredPassword& passwords, std::string_view password);
std::string ReadFtpPassword(const StoredPassword& passwords);

}  // namespace sonaro
