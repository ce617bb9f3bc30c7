#include "platform/sqlite_registry.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/program_paths.h"

namespace sonaro {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys(key TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS reg_values(key TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE,"
    " type INTEGER, data BLOB, PRIMARY KEY(key, name));";

constexpr const char* kSelectKey = "SELECT 1 FROM reg_keys WHERE key = ?1";
constexpr const char* kInsertKey = "INSERT OR IGNORE INTO reg_keys(key) VALUES(?1)";
constexpr const char* kSelectValue =
    "SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2";
constexpr const char* kUpsertValue =
    "INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
    " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kDeleteValue = "DELETE FROM reg_values WHERE key = ?1 AND name = ?2";
constexpr const char* kValueNames = "SELECT name FROM reg_values WHERE key = ?1";
// Keys strictly below ?1: their path starts with ?1 and a backslash.
constexpr const char* kBelow = "substr(key, 1, length(?1) + 1) = ?1 || '\\' COLLATE NOCASE";
const std::string kSubkeys =
    std::string("SELECT substr(key, length(?1) + 2) FROM reg_keys WHERE ") + kBelow +
    " AND instr(substr(key, length(?1) + 2), '\\') = 0";
const std::string kDeleteKeys = std::string("DELETE FROM reg_keys WHERE key = ?1 OR ") + kBelow;
const std::string kDeleteKeyValues =
    std::string("DELETE FROM reg_values WHERE key = ?1 OR ") + kBelow;

bool isCorrupt(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool isBusy(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

void reportLocked(const std::string& path, bool write) {
    std::fprintf(stderr, "Sonaro: the settings database %s is locked by another program; %s\n",
                 path.c_str(),
                 write ? "the change was not saved" : "a setting was not read (default used)");
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool succeeded(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW;
}

void bindText(sqlite3_stmt* stmt, int index, std::string_view text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* stmt, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    return bytes != nullptr ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Resets and unbinds a cached statement when the caller is done with it.
class StatementUse {
  public:
    explicit StatementUse(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~StatementUse() {
        if (m_stmt != nullptr) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

  private:
    sqlite3_stmt* m_stmt;
};

}  // namespace

SqliteRegistry::SqliteRegistry(std::string path, bool privateFiles, std::thread::id interfaceThread)
    : m_path(std::move(path)), m_private(privateFiles), m_interfaceThread(interfaceThread) {}

SqliteRegistry::~SqliteRegistry() {
    close();
}

void SqliteRegistry::close() {
    for (auto& [sql, stmt] : m_statements) {
        sqlite3_finalize(stmt);
    }
    m_statements.clear();
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_writable = false;
}

int SqliteRegistry::open(bool write) {
    if (m_db != nullptr && (m_writable || !write)) {
        return SQLITE_OK;
    }
    close();
    const bool exists = access(m_path.c_str(), F_OK) == 0;
    if (!write && !exists) {
        return SQLITE_CANTOPEN;
    }
    if (write && !exists) {
        createPrivately();
    }
    tightenModes();
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READWRITE | (write ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK && !write) {
        sqlite3_close_v2(m_db);
        flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READONLY;
        rc = sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr);
    }
    if (rc == SQLITE_OK) {
        m_writable = (flags & SQLITE_OPEN_READWRITE) != 0 && sqlite3_db_readonly(m_db, "main") == 0;
        rc = configure(m_writable);
    }
    if (rc != SQLITE_OK) {
        close();
    }
    return rc;
}

void SqliteRegistry::createPrivately() {
    const std::string folder = folderOf(m_path);
    if (!m_private) {
        MakeDirectories(folder);
        return;
    }
    // The last folder is made private at once, so it is never open to others for a moment.
    MakeDirectories(folderOf(folder));
    mkdir(folder.c_str(), 0700);
    // SQLite gives the -wal and -shm files the mode of the database file.
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
}

void SqliteRegistry::tightenModes() const {
    if (!m_private) {
        return;
    }
    for (const std::string& path : {folderOf(m_path), m_path, m_path + "-wal", m_path + "-shm"}) {
        struct stat info {};
        // Symbolic links and what others own are left as they are.
        if (lstat(path.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)) &&
            info.st_uid == geteuid() && (info.st_mode & 077) != 0 &&
            chmod(path.c_str(), info.st_mode & 07700) != 0) {
            std::fprintf(stderr, "Sonaro: cannot make %s private: %s\n", path.c_str(),
                         std::strerror(errno));
        }
    }
}

int SqliteRegistry::configure(bool writable) {
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    int rc = SQLITE_OK;
    if (writable) {
        // WAL with synchronous NORMAL: a commit is in the log before the call returns, so it
        // survives a crash of the program; only a power loss may undo the newest commits.
        rc = exec("PRAGMA journal_mode=WAL");
        if (rc == SQLITE_OK)
            rc = exec("PRAGMA synchronous=NORMAL");
        if (rc == SQLITE_OK)
            rc = exec(kSchema);
    }
    if (rc == SQLITE_OK) {
        sqlite3_stmt* check = nullptr;
        rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check(1)", -1, &check, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(check);
            if (rc == SQLITE_ROW) {
                const std::string verdict = columnText(check, 0);
                rc = verdict == "ok" ? SQLITE_OK : SQLITE_CORRUPT;
            }
        }
        sqlite3_finalize(check);
    }
    return rc;
}

int SqliteRegistry::exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

sqlite3_stmt* SqliteRegistry::statement(const char* sql) {
    if (auto found = m_statements.find(sql); found != m_statements.end()) {
        return found->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

int SqliteRegistry::attempt(bool write, const std::function<int()>& work) {
    const bool interface = std::this_thread::get_id() == m_interfaceThread;
    std::unique_lock lock(m_lock, std::defer_lock);
    // A worker may hold the connection while it waits out another program's lock.
    if (interface) {
        if (!lock.try_lock_for(std::chrono::milliseconds(kInterfaceBusyTimeoutMs))) {
            reportLocked(m_path, write);
            return SQLITE_BUSY;
        }
    } else {
        lock.lock();
    }
    m_busyTimeoutMs = interface ? kInterfaceBusyTimeoutMs : kBusyTimeoutMs;
    int rc = SQLITE_ERROR;
    for (int round = 0; round < 2; ++round) {
        rc = open(write);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
            rc = work();
        }
        if (!isCorrupt(rc)) {
            break;
        }
        close();
        moveAsideIfStillCorrupt();
    }
    if (interface && isBusy(rc)) {
        reportLocked(m_path, write);
    }
    return rc;
}

void SqliteRegistry::moveAsideIfStillCorrupt() {
    const std::string lockPath = m_path + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd >= 0) {
        flock(lockFd, LOCK_EX);
    }
    // Another process may have replaced the file while we waited for the lock.
    const int rc = open(false);
    close();
    if (isCorrupt(rc)) {
        const std::string aside = m_path + ".corrupt-" + timeStamp();
        std::rename(m_path.c_str(), aside.c_str());
        std::rename((m_path + "-wal").c_str(), (aside + "-wal").c_str());
        unlink((m_path + "-shm").c_str());
    }
    if (lockFd >= 0) {
        flock(lockFd, LOCK_UN);
        ::close(lockFd);
    }
}

int SqliteRegistry::inTransaction(const std::function<int()>& work) {
    int rc = exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = work();
    if (succeeded(rc)) {
        rc = exec("COMMIT");
    }
    if (rc != SQLITE_OK) {
        exec("ROLLBACK");
    }
    return rc;
}

int SqliteRegistry::insertKeyChain(std::string_view path) {
    sqlite3_stmt* insert = statement(kInsertKey);
    if (insert == nullptr) {
        return sqlite3_errcode(m_db);
    }
    for (std::size_t end = 0; end != std::string_view::npos;) {
        end = path.find('\\', end + 1);
        const std::string_view key = path.substr(0, end);
        if (key.empty()) {
            continue;
        }
        StatementUse use(insert);
        bindText(insert, 1, key);
        const int rc = sqlite3_step(insert);
        if (rc != SQLITE_DONE) {
            return rc;
        }
    }
    return SQLITE_DONE;
}

bool SqliteRegistry::keyExists(std::string_view path) {
    bool found = false;
    attempt(false, [&] {
        sqlite3_stmt* stmt = statement(kSelectKey);
        if (stmt == nullptr) {
            return sqlite3_errcode(m_db);
        }
        StatementUse use(stmt);
        bindText(stmt, 1, path);
        const int rc = sqlite3_step(stmt);
        found = rc == SQLITE_ROW;
        return rc;
    });
    return found;
}

bool SqliteRegistry::createKey(std::string_view path) {
    const int rc =
        attempt(true, [&] { return inTransaction([&] { return insertKeyChain(path); }); });
    return rc == SQLITE_OK;
}

bool SqliteRegistry::deleteKey(std::string_view path) {
    const int rc = attempt(true, [&] {
        return inTransaction([&] {
            for (const std::string* sql : {&kDeleteKeyValues, &kDeleteKeys}) {
                sqlite3_stmt* stmt = statement(sql->c_str());
                if (stmt == nullptr) {
                    return sqlite3_errcode(m_db);
                }
                StatementUse use(stmt);
                bindText(stmt, 1, path);
                if (const int step = sqlite3_step(stmt); step != SQLITE_DONE) {
                    return step;
                }
            }
            return SQLITE_DONE;
        });
    });
    return rc == SQLITE_OK;
}

std::vector<std::string> SqliteRegistry::queryNames(const char* sql, std::string_view path) {
    std::vector<std::string> names;
    attempt(false, [&] {
        names.clear();
        sqlite3_stmt* stmt = statement(sql);
        if (stmt == nullptr) {
            return sqlite3_errcode(m_db);
        }
        StatementUse use(stmt);
        bindText(stmt, 1, path);
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            names.push_back(columnText(stmt, 0));
        }
        return rc;
    });
    return names;
}

std::vector<std::string> SqliteRegistry::subkeys(std::string_view path) {
    return queryNames(kSubkeys.c_str(), path);
}

std::vector<std::string> SqliteRegistry::valueNames(std::string_view path) {
    return queryNames(kValueNames, path);
}

std::optional<RegistryValue> SqliteRegistry::readValue(std::string_view path,
                                                       std::string_view name) {
    std::optional<RegistryValue> value;
    attempt(false, [&] {
        sqlite3_stmt* stmt = statement(kSelectValue);
        if (stmt == nullptr) {
            return sqlite3_errcode(m_db);
        }
        StatementUse use(stmt);
        bindText(stmt, 1, path);
        bindText(stmt, 2, name);
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            value = RegistryValue{static_cast<RegistryType>(sqlite3_column_int(stmt, 0)),
                                  columnText(stmt, 1)};
        }
        return rc;
    });
    return value;
}

bool SqliteRegistry::writeValue(std::string_view path, std::string_view name,
                                const RegistryValue& value) {
    const int rc = attempt(true, [&] {
        return inTransaction([&] {
            const int keys = insertKeyChain(path);
            if (keys != SQLITE_DONE) {
                return keys;
            }
            sqlite3_stmt* stmt = statement(kUpsertValue);
            if (stmt == nullptr) {
                return sqlite3_errcode(m_db);
            }
            StatementUse use(stmt);
            bindText(stmt, 1, path);
            bindText(stmt, 2, name);
            sqlite3_bind_int(stmt, 3, static_cast<int>(value.type));
            sqlite3_bind_blob(stmt, 4, value.data.data(), static_cast<int>(value.data.size()),
                              SQLITE_TRANSIENT);
            return sqlite3_step(stmt);
        });
    });
    return rc == SQLITE_OK;
}

bool SqliteRegistry::deleteValue(std::string_view path, std::string_view name) {
    bool removed = false;
    attempt(true, [&] {
        return inTransaction([&] {
            sqlite3_stmt* stmt = statement(kDeleteValue);
            if (stmt == nullptr) {
                return sqlite3_errcode(m_db);
            }
            StatementUse use(stmt);
            bindText(stmt, 1, path);
            bindText(stmt, 2, name);
            const int rc = sqlite3_step(stmt);
            removed = rc == SQLITE_DONE && sqlite3_changes(m_db) > 0;
            return rc;
        });
    });
    return removed;
}

}  // namespace sonaro
