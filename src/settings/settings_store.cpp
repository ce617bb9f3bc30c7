#include "settings/settings_store.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace sonaro {
namespace {

// Text of a stored value as a C string: raw bytes up to the first NUL.
std::string asText(const std::string& data) {
    return std::string(data.c_str(), std::strlen(data.c_str()));
}

std::string cut(std::string text, std::size_t length) {
    if (text.size() > length) {
        text.resize(length);
    }
    return text;
}

}  // namespace

std::string SettingsStore::SectionKeyPath(std::string_view section) {
    std::string path(kProgramKey);
    path += section;
    return cut(std::move(path), kLegacyTextLength);
}

bool SettingsStore::ReadRegistryText(RegistryRoot root, std::string_view path,
                                     std::string_view name, std::string_view defaultText,
                                     std::string& out) const {
    const auto value = m_backend.readValue(root, path, name);
    // The stored text and its NUL must fit the read buffer; binary data is taken as it is.
    const std::size_t needed =
        value ? value->data.size() + (value->type == RegistryType::Text ? 1 : 0) : 0;
    if (!value || needed > kReadBufferBytes) {
        out = cut(std::string(defaultText), kMaxTextLength);
        return false;
    }
    out = cut(asText(value->data), kMaxTextLength);
    return true;
}

void SettingsStore::WriteRegistryText(RegistryRoot root, std::string_view path,
                                      std::string_view name, std::string_view text) {
    m_backend.writeValue(root, path, name, {RegistryType::Text, std::string(text)});
}

void SettingsStore::DeleteRegistryValue(RegistryRoot root, std::string_view path,
                                        std::string_view name) {
    m_backend.deleteValue(root, path, name);
}

bool SettingsStore::RegistryKeyExists(RegistryRoot root, std::string_view path) const {
    return m_backend.keyExists(root, path);
}

std::string SettingsStore::ReadSettingString(std::string_view section, std::string_view name,
                                             std::string_view defaultText) const {
    std::string out;
    ReadRegistryText(RegistryRoot::CurrentUser, SectionKeyPath(section), name, defaultText, out);
    return out;
}

long SettingsStore::ReadSettingInt(std::string_view section, std::string_view name,
                                   long defaultValue) const {
    const std::string text = ReadSettingString(section, name, "");
    return text.empty() ? defaultValue : ParseSettingNumber(text);
}

bool SettingsStore::ReadSettingBool(std::string_view section, std::string_view name,
                                    bool defaultValue) const {
    const std::string text = ReadSettingString(section, name, "");
    return text.empty() ? defaultValue : text.front() != '0';
}

void SettingsStore::WriteSettingString(std::string_view section, std::string_view name,
                                       std::string_view text) {
    WriteRegistryText(RegistryRoot::CurrentUser, SectionKeyPath(section), name, text);
}

void SettingsStore::WriteSettingInt(std::string_view section, std::string_view name, int value) {
    WriteSettingString(section, name, std::to_string(value));
}

void SettingsStore::WriteSettingBool(std::string_view section, std::string_view name, bool flag) {
    WriteSettingString(section, name, flag ? "1" : "0");
}

void SettingsStore::DeleteSetting(std::string_view section, std::string_view name) {
    DeleteRegistryValue(RegistryRoot::CurrentUser, SectionKeyPath(section), name);
}

void SettingsStore::WriteMachineSettingString(std::string_view section, std::string_view name,
                                              std::string_view text) {
    WriteRegistryText(RegistryRoot::LocalMachine, SectionKeyPath(section), name, text);
}

bool SettingsStore::ReadSettingBinary(std::string_view section, std::string_view name,
                                      std::string& out) const {
    auto value = m_backend.readValue(RegistryRoot::CurrentUser, SectionKeyPath(section), name);
    if (!value) {
        return false;
    }
    out = std::move(value->data);
    return true;
}

void SettingsStore::WriteSettingBinary(std::string_view section, std::string_view name,
                                       std::string_view bytes) {
    m_backend.writeValue(RegistryRoot::CurrentUser, SectionKeyPath(section), name,
                         {RegistryType::Binary, std::string(bytes)});
}

std::vector<std::string> SettingsStore::ListSubsections(std::string_view section) const {
    return m_backend.subkeys(RegistryRoot::CurrentUser, SectionKeyPath(section));
}

void SettingsStore::DeleteSection(std::string_view section) {
    m_backend.deleteKey(RegistryRoot::CurrentUser, SectionKeyPath(section));
}

bool SettingsStore::ReadSiblingProductSetting(bool softwareMaker, std::string_view product,
                                              std::string_view name, std::string& out) const {
    std::string path = "Software\\";
    path += softwareMaker ? "Kestrix Software" : "Kestrix Audio";
    path += '\\';
    path += product;
    path += "\\Settings";
    path = cut(std::move(path), kLegacyTextLength);
    return ReadRegistryText(RegistryRoot::LocalMachine, path, name, "", out) ||
           ReadRegistryText(RegistryRoot::CurrentUser, path, name, "", out);
}

long ParseSettingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that LONG_MIN itself is representable.
    long value = 0;
    bool overflow = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (overflow || value < (LONG_MIN + digit) / 10) {
            overflow = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (overflow) {
        return negative ? LONG_MIN : LONG_MAX;
    }
    if (negative) {
        return value;
    }
    return value == LONG_MIN ? LONG_MAX : -value;
}

}  // namespace sonaro
