// The settings database on disk: kept private, shared with other programs, and the passwords
// sealed in it.
#include "platform/sqlite_settings_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <thread>

#include "platform/openssl_secret_cipher.h"
#include "platform/program_paths.h"
#include "settings/settings_store.h"
#include "settings/stored_password.h"
#include "support/blocking_fifo.h"
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

class SqliteSettingsBackendTest : public testing::Test {
  protected:
    SqliteSettingsBackendTest() : m_paths(ProgramPaths::FromEnvironment()) {}

    // Writes a value as the interface thread would: done or given up within 1.5 s.
    static bool writeQuickly(SqliteSettingsBackend& backend) {
        const auto start = std::chrono::steady_clock::now();
        const bool wrote = backend.writeValue(RegistryRoot::CurrentUser, "Software\\X", "V",
                                              {RegistryType::Text, "1"});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
        return wrote;
    }

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
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SettingsStore(backend).ReadSettingInt("Settings", "Format", 0), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500))
        << "reading does not wait for the other program's write";
    const bool wrote = writeQuickly(backend);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(wrote);
    EXPECT_THAT(said, testing::HasSubstr(m_paths.userRegistry));
    EXPECT_THAT(said, testing::HasSubstr("locked by another program"));

    // The value is written once the other program let go.
    other.release();
    EXPECT_TRUE(writeQuickly(backend));
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
    EXPECT_FALSE(writeQuickly(backend));
    testing::internal::GetCapturedStderr();
    other.release();
    EXPECT_TRUE(worker.get()) << "the worker's write went through once the lock was free";
}

const std::string kEmailKey = "Software\\Kestrix Audio\\Sonaro\\Email";

// One run of the program: its own database connection and cipher over the same files.
struct ProgramRun {
    explicit ProgramRun(const std::string& dir)
        : backend(dir + "/registry.db", dir + "/machine.db"),
          settings(backend),
          cipher(dir + "/data/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher) {}

    bool storeSmtp(const std::string& password) {
        return StoreSmtpPassword(passwords, password, problem);
    }
    std::optional<RegistryValue> email(const char* name) {
        return backend.readValue(RegistryRoot::CurrentUser, kEmailKey, name);
    }
    // The SMTP password as older runs kept it, in plain text.
    void writePlainSmtp(const std::string& password) {
        settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword", password);
    }

    SqliteSettingsBackend backend;
    SettingsStore settings;
    OpenSslSecretCipher cipher;
    StoredPassword passwords;
    std::string problem;
};

class StoredPasswordTest : public testing::Test {
  protected:
    const test::TempDir m_dir{"password"};
    const std::string m_keyPath = m_dir + "/data/secret.key";
};

// A password longer than the settings allow is cut on reading.
TEST_F(StoredPasswordTest, ReadsBackAfterARestartWithoutAReadableCopy) {
    const std::string password = "s3cret-Pässwort-" + std::string(400, 'p');
    {
        ProgramRun run(m_dir);
        run.writePlainSmtp("old plain");
        EXPECT_TRUE(run.storeSmtp(password));
        EXPECT_TRUE(StoreFtpPassword(run.passwords, "ftp-secret-42", run.problem));
        EXPECT_EQ(run.problem, "");
        ASSERT_TRUE(run.email("_SMTPPassword"));
        EXPECT_EQ(run.email("_SMTPPassword")->type, RegistryType::Binary);
        // The plain copy written by an older run is gone with the sealed one in place.
        EXPECT_FALSE(run.email("SMTPPassword"));
    }
    ProgramRun restarted(m_dir);
    EXPECT_EQ(ReadSmtpPassword(restarted.passwords), password.substr(0, 259));
    EXPECT_EQ(ReadFtpPassword(restarted.passwords), "ftp-secret-42");

    std::string database;
    for (const char* suffix : {"", "-wal"}) {
        database += test::ReadTextFile(m_dir + "/registry.db" + suffix);
    }
    ASSERT_FALSE(database.empty());
    EXPECT_EQ(database.find("s3cret"), std::string::npos);
    EXPECT_EQ(database.find("ftp-secret"), std::string::npos);

    EXPECT_EQ(modeOf(m_keyPath), 0600u);
    EXPECT_EQ(std::filesystem::file_size(m_keyPath), 32u);
}

TEST_F(StoredPasswordTest, PlainValueIsReadOnlyWhenNoSealedValueOpens) {
    ProgramRun run(m_dir);
    run.writePlainSmtp("plain");
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "plain");

    ASSERT_TRUE(run.storeSmtp("sealed"));
    run.writePlainSmtp("plain");
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "sealed");

    // A changed byte fails the authentication: the plain value is what is left.
    RegistryValue sealed = *run.email("_SMTPPassword");
    sealed.data[sealed.data.size() / 2] ^= 0x01;
    run.backend.writeValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword", sealed);
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "plain");

    // Nor does a sealed value open under another name.
    ASSERT_TRUE(run.storeSmtp("mail password"));
    run.backend.writeValue(RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Ftp"),
                           "_Password", *run.email("_SMTPPassword"));
    EXPECT_EQ(ReadFtpPassword(run.passwords), "");
}

TEST_F(StoredPasswordTest, UnusableKeyFileRefusesTheStoreAndIsNeverReplaced) {
    ASSERT_TRUE(ProgramRun(m_dir).storeSmtp("first"));
    // Another user's key (here: a key of the wrong size) is refused, not overwritten.
    std::ofstream(m_keyPath, std::ios::trunc) << "short";
    ProgramRun run(m_dir);
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "");
    EXPECT_FALSE(run.storeSmtp("second"));
    EXPECT_EQ(run.problem, "the key file " + m_keyPath + " is not 32 bytes long");
    EXPECT_EQ(test::ReadTextFile(m_keyPath), "short");
    EXPECT_FALSE(run.email("SMTPPassword"));
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "");
}

TEST_F(StoredPasswordTest, AFifoInPlaceOfTheKeyFileIsRefusedAtOnce) {
    ProgramRun run(m_dir);
    std::filesystem::create_directories(m_dir + "/data");
    bool stored = true;
    EXPECT_TRUE(test::FinishesBesideFifo(m_keyPath, 3000, [&] { stored = run.storeSmtp("pw"); }));
    EXPECT_FALSE(stored);
    EXPECT_EQ(run.problem, "the key file " + m_keyPath + " is not a regular file");
}

TEST_F(StoredPasswordTest, WithoutCipherNothingIsStoredButOldPlainValuesStillRead) {
    SqliteSettingsBackend backend(m_dir + "/registry.db", m_dir + "/machine.db");
    SettingsStore settings(backend);
    StoredPassword passwords(settings, nullptr);
    std::string problem;
    EXPECT_FALSE(StoreFtpPassword(passwords, "pw", problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(settings.ReadSettingString("Ftp", "Password", "<unset>"), "<unset>");
    settings.WriteSettingString("Ftp", "Password", "older");
    EXPECT_EQ(ReadFtpPassword(passwords), "older");
}

}  // namespace
}  // namespace sonaro
