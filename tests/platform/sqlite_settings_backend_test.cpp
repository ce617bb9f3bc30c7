#include "platform/sqlite_settings_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/program_paths.h"
#include "settings/settings_store.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Another program's connection that holds the write lock of the database until released.
class LockHolder {
  public:
    explicit LockHolder(const std::string& path) {
        if (sqlite3_open(path.c_str(), &m_db) == SQLITE_OK) {
            m_locked = exec("BEGIN IMMEDIATE") &&
                       exec("INSERT INTO reg_keys(key) VALUES('Software\\Held')");
        }
    }
    ~LockHolder() {
        release();
        sqlite3_close(m_db);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const { return m_locked; }
    void release() {
        if (m_locked) {
            exec("COMMIT");
            m_locked = false;
        }
    }

  private:
    bool exec(const char* sql) {
        return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    sqlite3* m_db = nullptr;
    bool m_locked = false;
};

template <typename Work>
auto timed(Work work, std::chrono::milliseconds& took) {
    const auto start = std::chrono::steady_clock::now();
    auto result = work();
    took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
    return result;
}

class SqliteSettingsBackendTest : public testing::Test {
  protected:
    SqliteSettingsBackendTest() : m_paths(ProgramPaths::FromEnvironment()) {}

    // A database that an earlier run left with "Settings\Format" = "1".
    void makeDatabase() {
        SqliteSettingsBackend earlier(m_paths.userRegistry, m_paths.machineRegistry);
        SettingsStore(earlier).WriteSettingInt("Settings", "Format", 1);
    }

    test::TempHome m_home;
    ProgramPaths m_paths;
};

// Private from the first write on, and files an earlier run left open are tightened at start.
TEST_F(SqliteSettingsBackendTest, UserDatabaseAndItsFolderAreKeptPrivate) {
    const std::string folder = m_paths.configHome + "/sonaro";
    const auto expectPrivate = [&] {
        EXPECT_EQ(modeOf(folder), 0700u);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            EXPECT_EQ(modeOf(m_paths.userRegistry + suffix), 0600u) << suffix;
        }
    };
    {
        SqliteSettingsBackend backend(m_paths.userRegistry, m_paths.machineRegistry);
        SettingsStore(backend).WriteSettingInt("Settings", "Format", 1);
        expectPrivate();
    }
    chmod(folder.c_str(), 0755);
    chmod(m_paths.userRegistry.c_str(), 0644);
    SqliteSettingsBackend backend(m_paths.userRegistry, m_paths.machineRegistry);
    EXPECT_EQ(SettingsStore(backend).ReadSettingInt("Settings", "Format", 0), 1);
    expectPrivate();
}

TEST_F(SqliteSettingsBackendTest, LockedDatabaseFailsInterfaceWritesQuicklyAndSaysSo) {
    makeDatabase();
    LockHolder other(m_paths.userRegistry);
    ASSERT_TRUE(other.locked());
    // Created here, so this thread is the interface thread; as at a start, the first call opens.
    SqliteSettingsBackend backend(m_paths.userRegistry, m_paths.machineRegistry);
    SettingsStore settings(backend);
    std::chrono::milliseconds took{};

    testing::internal::CaptureStderr();
    EXPECT_EQ(timed([&] { return settings.ReadSettingInt("Settings", "Format", 0); }, took), 1);
    EXPECT_LT(took.count(), 1500) << "reading does not wait for the other program's write";
    const bool wrote = timed(
        [&] {
            return backend.writeValue(RegistryRoot::CurrentUser, "Software\\X", "V",
                                      {RegistryType::Text, "1"});
        },
        took);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(wrote);
    EXPECT_LT(took.count(), 1500);
    EXPECT_THAT(said, testing::HasSubstr(m_paths.userRegistry));
    EXPECT_THAT(said, testing::HasSubstr("locked by another program"));

    // The value is written once the other program let go.
    other.release();
    EXPECT_TRUE(backend.writeValue(RegistryRoot::CurrentUser, "Software\\X", "V",
                                   {RegistryType::Text, "1"}));
}

TEST_F(SqliteSettingsBackendTest, WorkersWaitLongerThanTheInterfaceThread) {
    makeDatabase();
    SqliteSettingsBackend backend(m_paths.userRegistry, m_paths.machineRegistry);
    SettingsStore settings(backend);
    EXPECT_EQ(settings.ReadSettingInt("Settings", "Format", 0), 1);
    LockHolder other(m_paths.userRegistry);
    ASSERT_TRUE(other.locked());

    auto worker = std::async(std::launch::async, [&] {
        return backend.writeValue(RegistryRoot::CurrentUser, "Software\\W", "V",
                                  {RegistryType::Text, "2"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Meanwhile the worker keeps the connection: the interface thread gives up instead of
    // waiting behind it.
    testing::internal::CaptureStderr();
    std::chrono::milliseconds took{};
    const bool wrote = timed(
        [&] {
            return backend.writeValue(RegistryRoot::CurrentUser, "Software\\X", "V",
                                      {RegistryType::Text, "1"});
        },
        took);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(wrote);
    EXPECT_LT(took.count(), 1500);
    other.release();
    EXPECT_TRUE(worker.get()) << "the worker's write went through once the lock was free";
}

}  // namespace
}  // namespace sonaro
