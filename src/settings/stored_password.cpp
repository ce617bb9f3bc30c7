#include "settings/stored_password.h"

#include <algorithm>

namespace sonaro {
namespace {

constexpr std::string_view kSmtpPasswordName = "SMTPPassword";
constexpr std::string_view kFtpSection = "Ftp";
constexpr std::string_view kFtpPasswordName = "Password";

std::string sealedName(std::string_view name) {
    return "_" + std::string(name);
}

// Binds a sealed value to its place: the key path and the value name.
std::string contextOf(std::string_view keyPath, std::string_view name) {
    std::string context(keyPath);
    context += '\n';
    context += name;
    return context;
}

}  // namespace

void StoredPassword::Store(std::string_view keyPath, std::string_view name,
                           std::string_view password) {
    SettingsBackend& backend = m_settings.backend();
    if (m_cipher != nullptr) {
        if (const auto sealed = m_cipher->Seal(password, contextOf(keyPath, name))) {
            if (backend.writeValue(RegistryRoot::CurrentUser, keyPath, sealedName(name),
                                   {RegistryType::Binary, *sealed})) {
                backend.deleteValue(RegistryRoot::CurrentUser, keyPath, name);
                return;
            }
        }
    }
    m_settings.WriteRegistryText(RegistryRoot::CurrentUser, keyPath, name, password);
}

std::string StoredPassword::Read(std::string_view keyPath, std::string_view name) const {
    if (m_cipher != nullptr) {
        const auto value =
            m_settings.backend().readValue(RegistryRoot::CurrentUser, keyPath, sealedName(name));
        if (value && value->type == RegistryType::Binary) {
            if (auto plain = m_cipher->Open(value->data, contextOf(keyPath, name))) {
                plain->resize(std::min(plain->size(), SettingsStore::kLegacyTextLength));
                return *plain;
            }
        }
    }
    std::string plain;
    m_settings.ReadRegistryText(RegistryRoot::CurrentUser, keyPath, name, "", plain);
    return plain;
}

void StoreSmtpPassword(StoredPassword& passwords, std::string_view keyPath,
                       std::string_view password) {
    passwords.Store(keyPath, kSmtpPasswordName, password);
}

std::string ReadSmtpPassword(const StoredPassword& passwords, std::string_view keyPath) {
    return passwords.Read(keyPath, kSmtpPasswordName);
}

void StoreFtpPassword(StoredPassword& passwords, std::string_view password) {
    passwords.Store(SettingsStore::SectionKeyPath(kFtpSection), kFtpPasswordName, password);
}

std::string ReadFtpPassword(const StoredPassword& passwords) {
    return passwords.Read(SettingsStore::SectionKeyPath(kFtpSection), kFtpPasswordName);
}

}  // namespace sonaro
