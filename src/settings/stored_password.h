#pragma once

#include <string>
#include <string_view>

#include "settings/secret_cipher.h"
#include "settings/settings_store.h"

namespace sonaro {

inline constexpr std::string_view kPasswordNotSavedTitle = "Password Not Saved";

// A password kept below a per-user key, sealed in the binary value "_<name>". Writing the sealed
// form removes an earlier plain copy, so no readable copy stays behind. A password is never
// written in plain text; plain values of older versions are still read.
class StoredPassword {
  public:
    // `cipher` may be null: no password can be stored then.
    StoredPassword(SettingsStore& settings, SecretCipher* cipher)
        : m_settings(settings), m_cipher(cipher) {}

    // False when the password could not be sealed or written; `problem` then says why and
    // nothing was changed. An empty password is no secret: both values are removed.
    bool Store(std::string_view keyPath, std::string_view name, std::string_view password,
               std::string& problem);
    // The sealed value when it exists and opens (cut to 259 characters), else the plain value;
    // empty when neither exists.
    std::string Read(std::string_view keyPath, std::string_view name) const;
    bool Store(const PasswordSetting& setting, std::string_view password, std::string& problem);
    std::string Read(const PasswordSetting& setting) const;

  private:
    SettingsStore& m_settings;
    SecretCipher* m_cipher;
};

// The SMTP password of the e-mail settings: "_SMTPPassword" / "SMTPPassword" of section "Email".
bool StoreSmtpPassword(StoredPassword& passwords, std::string_view password, std::string& problem);
std::string ReadSmtpPassword(const StoredPassword& passwords);

// The FTP password of the transmit settings: "_Password" / "Password" of section "Ftp".
bool StoreFtpPassword(StoredPassword& passwords, std::string_view password, std::string& problem);
std::string ReadFtpPassword(const StoredPassword& passwords);

// What the user is told when Store refused, with its `problem`.
std::string PasswordNotSavedMessage(std::string_view problem);

}  // namespace sonaro
