#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "settings/settings_backend.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sonaro {

// One registry database file. A single connection per object, serialised by its own lock, so any
// thread may call; other processes share the file through WAL and a busy timeout.
//
// The file is created on the first write; reads of a missing file find nothing. When SQLite
// reports the file corrupt, it is moved aside under an exclusive lock file (so two processes never
// both replace it) and the operation is retried once on a new file.
//
// Calls from `interfaceThread` wait at most kInterfaceBusyTimeoutMs for the connection and for
// another program's lock, then fail with a line on standard error; other threads wait up to
// kBusyTimeoutMs. A private registry keeps its folder at mode 0700 and the database with its
// -wal and -shm files at 0600, and tightens those that are ours whenever it opens them.
class SqliteRegistry {
  public:
    static constexpr int kBusyTimeoutMs = 30000;
    static constexpr int kInterfaceBusyTimeoutMs = 300;

    SqliteRegistry(std::string path, bool privateFiles, std::thread::id interfaceThread);
    ~SqliteRegistry();
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    bool keyExists(std::string_view path);
    bool createKey(std::string_view path);
    bool deleteKey(std::string_view path);
    std::vector<std::string> subkeys(std::string_view path);
    std::vector<std::string> valueNames(std::string_view path);
    std::optional<RegistryValue> readValue(std::string_view path, std::string_view name);
    bool writeValue(std::string_view path, std::string_view name, const RegistryValue& value);
    bool deleteValue(std::string_view path, std::string_view name);

    const std::string& path() const { return m_path; }

  private:
    // Runs `work` (which gives an SQLite result code) on an open connection; recovers from a
    // corrupt file once. Gives the final result code.
    int attempt(bool write, const std::function<int()>& work);
    int open(bool write);
    int configure(bool writable);
    // Creates the folder and an empty database file with private modes when missing.
    void createPrivately();
    void tightenModes() const;
    void close();
    void moveAsideIfStillCorrupt();
    int exec(const char* sql);
    int inTransaction(const std::function<int()>& work);
    int insertKeyChain(std::string_view path);
    // The first column of every row `sql` gives for `path`.
    std::vector<std::string> queryNames(const char* sql, std::string_view path);
    sqlite3_stmt* statement(const char* sql);

    std::string m_path;
    bool m_private;
    std::thread::id m_interfaceThread;
    std::timed_mutex m_lock;
    sqlite3* m_db = nullptr;
    bool m_writable = false;
    int m_busyTimeoutMs = kBusyTimeoutMs;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
};

}  // namespace sonaro
