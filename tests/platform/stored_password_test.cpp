#include "settings/stored_password.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "platform/openssl_secret_cipher.h"
#include "platform/sqlite_settings_backend.h"
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

std::string fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

class StoredPasswordTest : public testing::Test {
  protected:
    ~StoredPasswordTest() override { test::RemoveTree(m_dir); }

    std::string m_dir = test::MakeTempDir("password");
};

TEST_F(StoredPasswordTest, ReadsBackAfterARestartWithoutAReadableCopy) {
    const std::string password = "s3cret-Pässwort-with-a-long-tail-0123456789";
    {
        ProgramRun run(m_dir);
        run.settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword",
                                       "old plain");
        StoreSmtpPassword(run.passwords, kEmailKey, password);
        StoreFtpPassword(run.passwords, "ftp-secret-42");
        const auto sealed =
            run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
        ASSERT_TRUE(sealed);
        EXPECT_EQ(sealed->type, RegistryType::Binary);
        // The plain copy written by an older run is gone with the sealed one in place.
        EXPECT_FALSE(run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword"));
    }
    ProgramRun restarted(m_dir);
    EXPECT_EQ(ReadSmtpPassword(restarted.passwords, kEmailKey), password);
    EXPECT_EQ(ReadFtpPassword(restarted.passwords), "ftp-secret-42");

    std::string database;
    for (const char* suffix : {"", "-wal"}) {
        database += fileBytes(m_dir + "/registry.db" + suffix);
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
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), "plain");

    StoreSmtpPassword(run.passwords, kEmailKey, "sealed");
    run.settings.WriteRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword", "plain");
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), "sealed");

    // A changed byte fails the authentication: the plain value is what is left.
    auto sealed = *run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
    sealed.data[sealed.data.size() / 2] ^= 0x01;
    run.backend.writeValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword", sealed);
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), "plain");
}

TEST_F(StoredPasswordTest, SealedValueDoesNotOpenUnderAnotherName) {
    ProgramRun run(m_dir);
    StoreSmtpPassword(run.passwords, kEmailKey, "mail password");
    const auto sealed =
        run.backend.readValue(RegistryRoot::CurrentUser, kEmailKey, "_SMTPPassword");
    ASSERT_TRUE(sealed);
    run.backend.writeValue(RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Ftp"),
                           "_Password", *sealed);
    EXPECT_EQ(ReadFtpPassword(run.passwords), "");
}

TEST_F(StoredPasswordTest, LostKeyFileFallsBackToPlainAndIsNeverReplacedByAStranger) {
    {
        ProgramRun run(m_dir);
        StoreSmtpPassword(run.passwords, kEmailKey, "first");
    }
    // Another user's key (here: a key of the wrong size) is refused, not overwritten.
    const std::string keyPath = m_dir + "/data/secret.key";
    std::ofstream(keyPath, std::ios::trunc) << "short";
    ProgramRun run(m_dir);
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), "");
    StoreSmtpPassword(run.passwords, kEmailKey, "second");
    EXPECT_EQ(fileBytes(keyPath), "short");
    std::string plain;
    run.settings.ReadRegistryText(RegistryRoot::CurrentUser, kEmailKey, "SMTPPassword", "", plain);
    EXPECT_EQ(plain, "second");
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), "second");
}

TEST_F(StoredPasswordTest, WithoutCipherPasswordsArePlainText) {
    SqliteSettingsBackend backend(m_dir + "/registry.db", m_dir + "/machine.db");
    SettingsStore settings(backend);
    StoredPassword passwords(settings, nullptr);
    StoreFtpPassword(passwords, "pw");
    EXPECT_EQ(settings.ReadSettingString("Ftp", "Password", ""), "pw");
    EXPECT_EQ(ReadFtpPassword(passwords), "pw");
}

TEST_F(StoredPasswordTest, LongPasswordIsCutOnRead) {
    ProgramRun run(m_dir);
    StoreSmtpPassword(run.passwords, kEmailKey, std::string(400, 'p'));
    EXPECT_EQ(ReadSmtpPassword(run.passwords, kEmailKey), std::string(259, 'p'));
}

}  // namespace
}  // namespace sonaro
