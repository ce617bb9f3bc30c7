#include "settings/stored_password.h"

#include <algorithm>

namespace sonaro {
namespace {

std::string sealedName(std::string_view name) {
    std::string sealed = "_";
    sealed += name;
    return sealed;
}

// Binds a sealed value to its place: the key path and the value name.
std::string contextOf(std::string_view keyPath, std::string_view name) {
    std::string context(keyPath);
    context += '\n';
    context += name;
    return context;
}

}  // namespace

bool StoredPassword::Store(std::string_view keyPath, std::string_view name,
                           std::string_view password, std::string& problem) {
    SettingsBackend& backend = m_settings.backend();
    if (password.empty()) {
        backend.deleteValue(RegistryRoot::CurrentUser, keyPath, sealedName(name));
        backend.deleteValue(RegistryRoot::CurrentUser, keyPath, name);
        return true;
    }
    if (m_cipher == nullptr) {
        problem = "no encryption is available";
        return false;
    }
    const auto sealed = m_cipher->Seal(password, contextOf(keyPath, name), problem);
    if (!sealed) {
        return false;
    }
    if (!backend.writeValue(RegistryRoot::CurrentUser, keyPath, sealedName(name),
                            {RegistryType::Binary, *sealed})) {
        problem = "the settings database could not be written";
        return false;
    }
    backend.deleteValue(RegistryRoot::CurrentUser, keyPath, name);
    return true;
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

bool StoredPassword::Store(const PasswordSetting& setting, std::string_view password,
                           std::string& problem) {
    return Store(SettingsStore::SectionKeyPath(setting.section), setting.name, password, problem);
}

std::string StoredPassword::Read(const PasswordSetting& setting) const {
    return Read(SettingsStore::SectionKeyPath(setting.section), setting.name);
}

bool StoreSmtpPassword(StoredPassword& passwords, std::string_view password, std::string& problem) {
    return passwords.Store(setting::kSmtpPassword, password, problem);
}

std::string ReadSmtpPassword(const StoredPassword& passwords) {
    return passwords.Read(setting::kSmtpPassword);
}

bool StoreFtpPassword(StoredPassword& passwords, std::string_view password, std::string& problem) {
    return passwords.Store(setting::kFtpPassword, password, problem);
}

std::string ReadFtpPassword(const StoredPassword& passwords) {
    return passwords.Read(setting::kFtpPassword);
}

std::string PasswordNotSavedMessage(std::string_view problem) {
    return "The password was not saved, because Sonaro keeps passwords only in encrypted form "
           "and cannot encrypt it: " +
           std::string(problem) + ".";
}

}  // namespace sonaro
