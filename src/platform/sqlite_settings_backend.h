#pragma once

#include <memory>
#include <string>

#include "settings/settings_backend.h"

namespace sonaro {

class SqliteRegistry;

// The registry on two SQLite databases: one per user, one machine-wide (read-only for users).
// WAL mode with a busy timeout lets every thread and process read and write at once; writes run
// in immediate transactions so they wait for each other instead of failing. A database found
// corrupt is moved aside as "<file>.corrupt-<time>" and a new one is started. The per-user
// database and its folder are private to the user.
class SqliteSettingsBackend final : public SettingsBackend {
  public:
    // The calling thread is taken as the user-interface thread: its calls wait only briefly for
    // a database that another program holds locked, and fail with a line on standard error.
    SqliteSettingsBackend(std::string userDatabase, std::string machineDatabase);
    ~SqliteSettingsBackend() override;

    bool keyExists(RegistryRoot root, std::string_view path) override;
    bool createKey(RegistryRoot root, std::string_view path) override;
    bool deleteKey(RegistryRoot root, std::string_view path) override;
    std::vector<std::string> subkeys(RegistryRoot root, std::string_view path) override;
    std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) override;
    std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                           std::string_view name) override;
    bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                    const RegistryValue& value) override;
    bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;

  private:
    SqliteRegistry& registry(RegistryRoot root);

    std::unique_ptr<SqliteRegistry> m_user;
    std::unique_ptr<SqliteRegistry> m_machine;
};

}  // namespace sonaro
