#include "settings/settings_store.h"

#include <algorithm>
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

std::string slotKey(const SlotSection& slotSet, int slot) {
    return std::string(slotSet.section) + "\\" + std::to_string(slot);
}

// Slot names are plain decimal numbers of at most nine digits, without leading zeros.
std::optional<int> slotNumber(std::string_view name) {
    const bool numeric =
        !name.empty() && name.size() < 10 && (name.size() == 1 || name[0] != '0') &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!numeric) {
        return std::nullopt;
    }
    return ParseSettingNumber(name, 0, INT32_MAX);
}

}  // namespace

std::string SettingsStore::Read(const TextSetting& setting) const {
    return ReadSettingString(setting.section, setting.name, setting.defaultValue);
}

int SettingsStore::Read(const IntSetting& setting) const {
    return ReadIfStored(setting).value_or(setting.defaultValue);
}

bool SettingsStore::Read(const BoolSetting& setting) const {
    return ReadSettingBool(setting.section, setting.name, setting.defaultValue);
}

int SettingsStore::Read(const ChoiceSetting& setting) const {
    const long value = ReadSettingInt(setting.section, setting.name, setting.defaultValue);
    return value >= 0 && value < setting.count ? static_cast<int>(value) : setting.defaultValue;
}

std::optional<std::string> SettingsStore::ReadIfStored(const TextSetting& setting) const {
    std::string out;
    if (!ReadRegistryText(RegistryRoot::CurrentUser, SectionKeyPath(setting.section), setting.name,
                          "", out)) {
        return std::nullopt;
    }
    return out;
}

std::optional<int> SettingsStore::ReadIfStored(const IntSetting& setting) const {
    const std::string text = ReadSettingString(setting.section, setting.name, "");
    if (text.empty()) {
        return std::nullopt;
    }
    return ParseSettingNumber(text, setting.min, setting.max);
}

void SettingsStore::Write(const TextSetting& setting, std::string_view text) {
    WriteSettingString(setting.section, setting.name, text);
}

void SettingsStore::Write(const IntSetting& setting, int value) {
    WriteSettingInt(setting.section, setting.name, std::clamp(value, setting.min, setting.max));
}

void SettingsStore::Write(const BoolSetting& setting, bool flag) {
    WriteSettingBool(setting.section, setting.name, flag);
}

void SettingsStore::Write(const ChoiceSetting& setting, int choice) {
    WriteSettingInt(setting.section, setting.name,
                    choice >= 0 && choice < setting.count ? choice : setting.defaultValue);
}

std::vector<int> SettingsStore::Slots(const SlotSection& slotSet) const {
    std::vector<int> numbers;
    for (const std::string& name : ListSubsections(slotSet.section)) {
        if (const auto slot = slotNumber(name)) {
            numbers.push_back(*slot);
        }
    }
    return numbers;
}

bool SettingsStore::SlotExists(const SlotSection& slotSet, int slot) const {
    return RegistryKeyExists(RegistryRoot::CurrentUser, SectionKeyPath(slotKey(slotSet, slot)));
}

void SettingsStore::DeleteSlot(const SlotSection& slotSet, int slot) {
    DeleteSection(slotKey(slotSet, slot));
}

int SettingsStore::Read(const SlotIntSetting& setting, int slot) const {
    const std::string text =
        ReadSettingString(slotKey(setting.slotSection, slot), setting.name, "");
    return text.empty() ? setting.defaultValue : ParseSettingNumber(text, setting.min, setting.max);
}

void SettingsStore::Write(const SlotIntSetting& setting, int slot, int value) {
    WriteSettingInt(slotKey(setting.slotSection, slot), setting.name,
                    std::clamp(value, setting.min, setting.max));
}

std::string SettingsStore::ReadPlainPassword(const PasswordSetting& setting) const {
    return ReadSettingString(setting.section, setting.name, "");
}

bool SettingsStore::Read(const ComponentSetting& setting, RegistryRoot root,
                         std::string_view component, std::string& out) const {
    std::string key(setting.keyPrefix);
    key += component;
    return ReadRegistryText(root, key, setting.name, "", out);
}

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

int ParseSettingNumber(std::string_view text, int min, int max) {
    return static_cast<int>(std::clamp(ParseSettingNumber(text), long{min}, long{max}));
}

}  // namespace sonaro
