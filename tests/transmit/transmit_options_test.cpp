#include "transmit/transmit_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/file_permissions.h"
#include "transmit_fixture.h"

namespace sonaro {
namespace {

TEST(EmailAddressTest, LastAtAndLastDotDecide) {
    EXPECT_TRUE(IsPlausibleEmailAddress("a@b.cd"));
    EXPECT_FALSE(IsPlausibleEmailAddress("a@b.c"));
    EXPECT_FALSE(IsPlausibleEmailAddress("@b.cd"));
    EXPECT_FALSE(IsPlausibleEmailAddress("a.b@cd"));
    EXPECT_FALSE(IsPlausibleEmailAddress(""));
    EXPECT_TRUE(IsPlausibleEmailAddress("first.last@mail.example.org"));
}

class TransmitOptionsTest : public test::TransmitTest {
  protected:
    std::optional<FieldComplaint> save(const TransmitOptions& options) {
        return SaveTransmitOptions(m_settings, m_passwords, options, true, true);
    }
};

TEST_F(TransmitOptionsTest, EachMethodIsCheckedInOrderAndEarlierGroupsStaySaved) {
    TransmitOptions options;
    options.sendEmail = true;
    auto refused = save(options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->field, static_cast<int>(TransmitField::To));
    EXPECT_EQ(refused->text,
              "Please enter the email of the person you want to send recordings to.");
    EXPECT_EQ(refused->title, "Invalid Email");
    options.to = "a@b.c";
    EXPECT_EQ(save(options)->text, "Please enter a valid email address.");

    options.to = "a@b.cd";
    options.sendFtp = true;
    options.ftpServer = "ftp.example.org";
    options.ftpUser = "user";
    refused = save(options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text, "FTP Server or user details are required.");
    EXPECT_EQ(refused->title, "");
    EXPECT_EQ(refused->field, static_cast<int>(TransmitField::FtpServer));
    // The e-mail group passed and was written; nothing of the FTP group was.
    EXPECT_TRUE(m_settings.ReadSettingBool("Settings", "SendEmail", false));
    EXPECT_EQ(m_settings.ReadSettingString("Email", "To", ""), "a@b.cd");
    EXPECT_EQ(m_settings.ReadSettingString("Ftp", "Server", "none"), "none");

    options.ftpPassword = "pw";
    options.sendRun = true;
    options.ftpDirectory = "/up";
    refused = save(options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text, "Please enter the exe or bat file you want to run.");
    EXPECT_EQ(refused->title, "Invalid Exe File");
    EXPECT_EQ(m_settings.ReadSettingString("Ftp", "Directory", ""), "/up");

    options.program = "/usr/bin/true %s";
    options.prompt = false;
    options.ftpSecure = false;
    options.ftpAllowPlainPassword = true;
    EXPECT_FALSE(save(options));
    const TransmitOptions loaded = LoadTransmitOptions(m_settings, m_passwords);
    EXPECT_EQ(loaded.program, "/usr/bin/true %s");
    EXPECT_EQ(loaded.ftpPassword, "pw");
    EXPECT_FALSE(loaded.prompt);
    EXPECT_TRUE(loaded.sendRun);
    EXPECT_FALSE(loaded.ftpSecure);
    EXPECT_TRUE(loaded.ftpAllowPlainPassword);
}

TEST_F(TransmitOptionsTest, FolderMustExistAndBeWritableAndOnlyOurTestFileIsRemoved) {
    TransmitOptions options;
    options.sendFolder = true;
    EXPECT_EQ(save(options)->title, "Invalid Folder");
    options.folder = m_dir + "/missing";
    EXPECT_EQ(save(options)->text,
              "The specified folder does not exist. Please select a valid folder to transmit "
              "recordings to.");

    const test::FilePermissionsEnforced permissions;
    options.folder = m_dir + "/readonly";
    ASSERT_EQ(mkdir(options.folder.c_str(), 0555), 0);
    const auto refused = save(options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text,
              "You don't have the permission to write to the specified folder. Please select a "
              "valid folder to transmit recordings to.");

    const std::string writable = m_dir + "/backup";
    ASSERT_EQ(mkdir(writable.c_str(), 0700), 0);
    options.folder = writable;
    EXPECT_FALSE(save(options));
    EXPECT_TRUE(std::filesystem::is_empty(writable));
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "SendFolderDir", ""), writable);

    // A test file of someone else is left alone.
    test::WriteTextFile(writable + "/__wt", "");
    EXPECT_TRUE(CanWriteToFolder(writable));
    EXPECT_TRUE(std::filesystem::exists(writable + "/__wt"));
}

TEST_F(TransmitOptionsTest, FtpPasswordThatCannotBeSealedStopsTheSave) {
    // A key of the wrong size may belong to another installation: it is neither used nor replaced.
    std::filesystem::create_directories(m_dir + "/data");
    { std::ofstream(keyPath()) << "short"; }
    TransmitOptions options;
    options.sendFtp = true;
    options.ftpServer = "ftp.example.org";
    options.ftpUser = "user";
    options.ftpPassword = "ftp-in-the-clear";
    options.ftpDirectory = "/up";
    const auto refused = save(options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->field, static_cast<int>(TransmitField::FtpServer));
    EXPECT_THAT(refused->text, testing::HasSubstr(keyPath()));
    EXPECT_EQ(m_settings.ReadSettingString("Ftp", "Password", "<unset>"), "<unset>");
    EXPECT_EQ(m_settings.ReadSettingString("Ftp", "Directory", "<unset>"), "<unset>");
    EXPECT_EQ(test::ReadTextFile(keyPath()), "short");
}

TEST_F(TransmitOptionsTest, UnchangedGroupsWriteNothing) {
    TransmitOptions options = LoadTransmitOptions(m_settings, m_passwords);
    // Unset choices encrypt and keep the password off plain connections.
    EXPECT_TRUE(options.ftpSecure);
    EXPECT_FALSE(options.ftpAllowPlainPassword);
    options.sendEmail = true;  // would be refused if checked
    options.ftpSecure = false;
    EXPECT_FALSE(SaveTransmitOptions(m_settings, m_passwords, options, false, false));
    EXPECT_TRUE(m_home.backend.subkeys(RegistryRoot::CurrentUser, "Software").empty());
    options.prompt = false;
    EXPECT_FALSE(SaveTransmitOptions(m_settings, m_passwords, options, false, true));
    EXPECT_FALSE(m_settings.ReadSettingBool("Settings", "bPromptTransmit", true));
    EXPECT_FALSE(m_settings.ReadSettingBool("Settings", "SendEmail", false));
    EXPECT_EQ(m_settings.ReadSettingString("Ftp", "UseSSL", "<unset>"), "<unset>");
}

}  // namespace
}  // namespace sonaro
