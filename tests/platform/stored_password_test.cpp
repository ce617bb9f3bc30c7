#include "settings/stored_password.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/openssl_secret_cipher.h"
#include "platform/sqlite_settings_backend.h"
#include "support/blocking_fifo.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

const std::string kEmailKey = "Software\\Kestrix Audio\\Sonaro\\Email";

// One run of the program: its own database connection and cipher over the same files.
struct ProgramRun {
    explicit ProgramRun(const std::string& dir)
        : backend(dir + "/registry.db", dir + "/machine.db"),
          settings(backend),
          cipher(dir + "/data/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher) {}

    SqliteSettingsBackend backend;
    SettingsStore settings;
    OpenSslSecretCipher cipher;
    StoredPassword passwords;
};

class StoredPasswordTest : public testing::Test {
  protected:
    const test::TempDir m_dir{"password"};
};

TEST_F(StoredPasswordTest, ReadsBackAfterARestartWithoutAReadableCopy) {
    const std::string password = "s3cret-Pässwort-with-a-long-tail-0123456789";
    {
        ProgramRun run(m_dir);
        run.settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword",
                                       "old plain");
        std::string problem;
        EXPECT_TRUE(StoreSmtpPassword(run.passwords, password, problem));
        EXPECT_TRUE(StoreFtpPassword(run.passwords, "ftp-secret-42", problem));
        EXPECT_EQ(problem, "");
        const auto sealed =
            run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
        ASSERT_TRUE(sealed);
        EXPECT_EQ(sealed->type, RegistryType::Binary);
        // The plain copy written by an older run is gone with the sealed one in place.
        EXPECT_FALSE(run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword"));
    }
    ProgramRun restarted(m_dir);
    EXPECT_EQ(ReadSmtpPassword(restarted.passwords), password);
    EXPECT_EQ(ReadFtpPassword(restarted.passwords), "ftp-secret-42");

    std::string database;
    for (const char* suffix : {"", "-wal"}) {
        database += test::ReadTextFile(m_dir + "/registry.db" + suffix);
    }
    ASSERT_FALSE(database.empty());
    EXPECT_EQ(database.find("s3cret"), std::string::npos);
    EXPECT_EQ(database.find("ftp-secret"), std::string::npos);

    struct stat info {};
    ASSERT_EQ(stat((m_dir + "/data/secret.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 32);
}

TEST_F(StoredPasswordTest, PlainValueIsReadOnlyWhenNoSealedValueOpens) {
    ProgramRun run(m_dir);
    run.settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword", "plain");
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "plain");

    std::string problem;
    ASSERT_TRUE(StoreSmtpPassword(run.passwords, "sealed", problem));
    run.settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword", "plain");
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "sealed");

    // A changed byte fails the authentication: the plain value is what is left.
    auto sealed = *run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
    sealed.data[sealed.data.size() / 2] ^= 0x01;
    run.backend.writeValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword", sealed);
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "plain");
}

TEST_F(StoredPasswordTest, SealedValueDoesNotOpenUnderAnotherName) {
    ProgramRun run(m_dir);
    std::string problem;
    ASSERT_TRUE(StoreSmtpPassword(run.passwords, "mail password", problem));
    const auto sealed =
        run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
    ASSERT_TRUE(sealed);
    run.backend.writeValue(RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Ftp"),
                           "_Password", *sealed);
    EXPECT_EQ(ReadFtpPassword(run.passwords), "");
}

TEST_F(StoredPasswordTest, UnusableKeyFileRefusesTheStoreAndIsNeverReplaced) {
    {
        ProgramRun run(m_dir);
        std::string problem;
        ASSERT_TRUE(StoreSmtpPassword(run.passwords, "first", problem));
    }
    // Another user's key (here: a key of the wrong size) is refused, not overwritten.
    const std::string keyPath = m_dir + "/data/secret.key";
    std::ofstream(keyPath, std::ios::trunc) << "short";
    ProgramRun run(m_dir);
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "");
    std::string problem;
    EXPECT_FALSE(StoreSmtpPassword(run.passwords, "second", problem));
    EXPECT_EQ(problem, "the key file " + keyPath + " is not 32 bytes long");
    EXPECT_EQ(test::ReadTextFile(keyPath), "short");
    EXPECT_FALSE(run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword"));
    EXPECT_EQ(ReadSmtpPassword(run.passwords), "");
}

TEST_F(StoredPasswordTest, AFifoInPlaceOfTheKeyFileIsRefusedAtOnce) {
    ProgramRun run(m_dir);
    const std::string keyPath = m_dir + "/data/secret.key";
    std::filesystem::create_directories(m_dir + "/data");
    bool stored = true;
    std::string problem;
    EXPECT_TRUE(test::FinishesBesideFifo(
        keyPath, 3000, [&] { stored = StoreSmtpPassword(run.passwords, "pw", problem); }));
    EXPECT_FALSE(stored);
    EXPECT_EQ(problem, "the key file " + keyPath + " is not a regular file");
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

TEST_F(StoredPasswordTest, LongPasswordIsCutOnRead) {
    ProgramRun run(m_dir);
    std::string problem;
    ASSERT_TRUE(StoreSmtpPassword(run.passwords, std::string(400, 'p'), problem));
    EXPECT_EQ(ReadSmtpPassword(run.passwords), std::string(259, 'p'));
}

}  // namespace
}  // namespace sonaro
