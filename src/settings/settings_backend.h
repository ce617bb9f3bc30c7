#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// The two registry roots the program uses.
enum class RegistryRoot { CurrentUser, LocalMachine };

// Registry value type numbers as stored.
enum class RegistryType : int { Text = 1, Binary = 3 };

struct RegistryValue {
    RegistryType type = RegistryType::Text;
    std::string data;  // text without its terminating NUL, or raw bytes
};

// A hierarchical key/value store with registry semantics. Key paths are backslash-separated
// paths below a root; key and value names compare case-insensitively. Creating or writing below a
// key creates it and every missing parent.
//
// Every operation may be called from any thread and from several processes at once. Failures are
// reported only through the result: no operation throws.
class SettingsBackend {
  public:
    virtual ~SettingsBackend() = default;

    virtual bool keyExists(RegistryRoot root, std::string_view path) = 0;
    // Creates the key and its parents; true when the key exists afterwards.
    virtual bool createKey(RegistryRoot root, std::string_view path) = 0;
    // Removes the key, its values and every subkey below it.
    virtual bool deleteKey(RegistryRoot root, std::string_view path) = 0;
    // Names of the direct subkeys, in no particular order.
    virtual std::vector<std::string> subkeys(RegistryRoot root, std::string_view path) = 0;
    virtual std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) = 0;

    virtual std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                                   std::string_view name) = 0;
    // Creates the key when needed; false when nothing was written.
    virtual bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                            const RegistryValue& value) = 0;
    // True when the value existed and was removed.
    virtual bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) = 0;
};

}  // namespace sonaro
