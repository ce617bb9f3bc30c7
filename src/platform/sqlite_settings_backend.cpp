#include "platform/sqlite_settings_backend.h"

#include "platform/sqlite_registry.h"

#include <thread>

namespace sonaro {

SqliteSettingsBackend::SqliteSettingsBackend(std::string userDatabase, std::string machineDatabase)
    : m_user(std::make_unique<SqliteRegistry>(std::move(userDatabase), true,
                                              std::this_thread::get_id())),
      // Every user reads the machine-wide database, so it keeps the usual modes.
      m_machine(std::make_unique<SqliteRegistry>(std::move(machineDatabase), false,
                                                 std::this_thread::get_id())) {}

SqliteSettingsBackend::~SqliteSettingsBackend() = default;

SqliteRegistry& SqliteSettingsBackend::registry(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? *m_user : *m_machine;
}

bool SqliteSettingsBackend::keyExists(RegistryRoot root, std::string_view path) {
    return registry(root).keyExists(path);
}

bool SqliteSettingsBackend::createKey(RegistryRoot root, std::string_view path) {
    return registry(root).createKey(path);
}

bool SqliteSettingsBackend::deleteKey(RegistryRoot root, std::string_view path) {
    return registry(root).deleteKey(path);
}

std::vector<std::string> SqliteSettingsBackend::subkeys(RegistryRoot root, std::string_view path) {
    return registry(root).subkeys(path);
}

std::vector<std::string> SqliteSettingsBackend::valueNames(RegistryRoot root,
                                                           std::string_view path) {
    return registry(root).valueNames(path);
}

std::optional<RegistryValue> SqliteSettingsBackend::readValue(RegistryRoot root,
                                                              std::string_view path,
                                                              std::string_view name) {
    return registry(root).readValue(path, name);
}

bool SqliteSettingsBackend::writeValue(RegistryRoot root, std::string_view path,
                                       std::string_view name, const RegistryValue& value) {
    return registry(root).writeValue(path, name, value);
}

bool SqliteSettingsBackend::deleteValue(RegistryRoot root, std::string_view path,
                                        std::string_view name) {
    return registry(root).deleteValue(path, name);
}

}  // namespace sonaro
