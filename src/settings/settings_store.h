#pragma once

#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/setting_names.h"
#include "settings/settings_backend.h"

namespace sonaro {

// Every persistent setting of the program, read when needed and written when changed; there is
// no cache. Numbers and yes/no values are stored as text. The program reads and writes through the
// entries of setting_names.h, which carry each setting's default and limits; the name-based calls
// below them are the stored format itself, for those entries and for tests of that format.
//
// Reads never fail: a failed read gives the default. A failed write is lost (the backend may say
// so on standard error, as the SQLite one does for a database another program holds). Any thread
// may call any operation.
class SettingsStore {
  public:
    // Registry reads fetch at most this many bytes, terminating NUL included: room for any path
    // the system takes, so that a stored folder is never read back as the default.
    static constexpr std::size_t kReadBufferBytes = PATH_MAX;
    static constexpr std::size_t kMaxTextLength = kReadBufferBytes - 1;
    // Key paths and stored passwords keep the registry layout's 259 characters.
    static constexpr std::size_t kLegacyTextLength = 259;
    static constexpr std::string_view kProgramKey = "Software\\Kestrix Audio\\Sonaro\\";

    explicit SettingsStore(SettingsBackend& backend) : m_backend(backend) {}

    // "Software\Kestrix Audio\Sonaro\<section>", cut to 259 characters.
    static std::string SectionKeyPath(std::string_view section);

    std::string Read(const TextSetting& setting) const;
    int Read(const IntSetting& setting) const;
    bool Read(const BoolSetting& setting) const;
    int Read(const ChoiceSetting& setting) const;
    // Nothing when the value was never written (for a number: or is empty).
    std::optional<std::string> ReadIfStored(const TextSetting& setting) const;
    std::optional<int> ReadIfStored(const IntSetting& setting) const;
    void Write(const TextSetting& setting, std::string_view text);
    void Write(const IntSetting& setting, int value);
    void Write(const BoolSetting& setting, bool flag);
    // A number that is no choice is written as the default.
    void Write(const ChoiceSetting& setting, int choice);

    // The slots that exist, by their decimal subsection names, in no particular order.
    std::vector<int> Slots(const SlotSection& slotSet) const;
    bool SlotExists(const SlotSection& slotSet, int slot) const;
    void DeleteSlot(const SlotSection& slotSet, int slot);
    int Read(const SlotIntSetting& setting, int slot) const;
    void Write(const SlotIntSetting& setting, int slot, int value);

    // The plain text of a password as older versions stored it (`StoredPassword` reads both).
    std::string ReadPlainPassword(const PasswordSetting& setting) const;

    // The value below `component`'s key of `root`; false when there is none.
    bool Read(const ComponentSetting& setting, RegistryRoot root, std::string_view component,
              std::string& out) const;

    // Raw registry access below either root.
    bool ReadRegistryText(RegistryRoot root, std::string_view path, std::string_view name,
                          std::string_view defaultText, std::string& out) const;
    void WriteRegistryText(RegistryRoot root, std::string_view path, std::string_view name,
                           std::string_view text);
    void DeleteRegistryValue(RegistryRoot root, std::string_view path, std::string_view name);
    bool RegistryKeyExists(RegistryRoot root, std::string_view path) const;

    // Per-user settings of one section.
    std::string ReadSettingString(std::string_view section, std::string_view name,
                                  std::string_view defaultText) const;
    long ReadSettingInt(std::string_view section, std::string_view name, long defaultValue) const;
    bool ReadSettingBool(std::string_view section, std::string_view name, bool defaultValue) const;
    void WriteSettingString(std::string_view section, std::string_view name, std::string_view text);
    void WriteSettingInt(std::string_view section, std::string_view name, int value);
    void WriteSettingBool(std::string_view section, std::string_view name, bool flag);
    void DeleteSetting(std::string_view section, std::string_view name);
    void WriteMachineSettingString(std::string_view section, std::string_view name,
                                   std::string_view text);

    // Binary values (an encrypted password): no read-buffer limit.
    bool ReadSettingBinary(std::string_view section, std::string_view name, std::string& out) const;
    void WriteSettingBinary(std::string_view section, std::string_view name,
                            std::string_view bytes);

    // Subkeys of a section ("Hotkey\1", "Hotkey\2", ...).
    std::vector<std::string> ListSubsections(std::string_view section) const;
    void DeleteSection(std::string_view section);

    // Value `name` of "Software\<maker>\<product>\Settings", machine-wide first, then per-user;
    // the maker is "Kestrix Software" when `softwareMaker` is set, else "Kestrix Audio".
    bool ReadSiblingProductSetting(bool softwareMaker, std::string_view product,
                                   std::string_view name, std::string& out) const;

    SettingsBackend& backend() const { return m_backend; }

  private:
    SettingsBackend& m_backend;
};

// The decimal conversion of stored numbers: leading blanks and a sign, digits up to the first
// non-digit, 0 when there are none, clamped to the range of long.
long ParseSettingNumber(std::string_view text);

// ParseSettingNumber clamped to [min, max].
int ParseSettingNumber(std::string_view text, int min, int max);

}  // namespace sonaro
