#include "net/mail_account_discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_home.h"

namespace sonaro {
namespace {

class MailAccountDiscoveryTest : public testing::Test {
  protected:
    void write(const std::string& relative, const std::string& text) {
        const std::filesystem::path path = m_home + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    const test::TempDir m_home{"thunderbird"};
};

const char* const kPrefs =
    "// Mozilla User Preferences\n"
    "user_pref(\"mail.account.account10.identities\", \"id9\");\n"
    "user_pref(\"mail.account.account1.identities\", \"id2,id3\");\n"
    "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
    "user_pref(\"mail.identity.id2.useremail\", \"ann@example.org\");\n"
    "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
    "user_pref(\"mail.smtpserver.smtp1.hostname\", \"smtp.example.org\");\n"
    "user_pref(\"mail.smtpserver.smtp1.port\", 587);\n"
    "user_pref(\"mail.smtpserver.smtp2.hostname\", \"other.example.org\");\n";

TEST_F(MailAccountDiscoveryTest, DefaultProfileGivesServerAndAddress) {
    write(".thunderbird/profiles.ini",
          "[General]\nStartWithLastProfile=1\n\n"
          "[Profile1]\nName=old\nIsRelative=1\nPath=old.profile\n\n"
          "[Profile0]\nName=default\nIsRelative=1\nPath=abc.default\nDefault=1\n");
    write(".thunderbird/old.profile/prefs.js",
          "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
          "user_pref(\"mail.smtpserver.smtp1.hostname\", \"wrong.example.org\");\n");
    write(".thunderbird/abc.default/prefs.js", kPrefs);
    const auto account = DiscoverDefaultMailAccount(m_home);
    ASSERT_TRUE(account);
    EXPECT_EQ(account->smtpServer, "smtp.example.org");
    EXPECT_EQ(account->emailAddress, "ann@example.org");
}

TEST_F(MailAccountDiscoveryTest, WithoutDefaultTheFirstProfileWithAPathIsUsed) {
    write(".thunderbird/profiles.ini",
          "[General]\nStartWithLastProfile=1\n[Profile0]\nName=a\nPath=first\n"
          "[Profile1]\nName=b\nPath=second\nDefault=0\n");
    write(".thunderbird/first/prefs.js", kPrefs);
    ASSERT_TRUE(DiscoverDefaultMailAccount(m_home));
}

TEST_F(MailAccountDiscoveryTest, InstallSectionAndAbsolutePathsAndIdentityServer) {
    const std::string absolute = m_home + "/elsewhere/profile";
    write(".thunderbird/profiles.ini",
          "[Install4F96D1932A9F858E]\nDefault=relative.one\nLocked=1\n"
          "[Profile0]\nName=x\nIsRelative=0\nPath=" +
              absolute + "\n");
    write(".thunderbird/relative.one/prefs.js",
          std::string(kPrefs) + "user_pref(\"mail.identity.id2.smtpServer\", \"smtp2\");\n");
    auto account = DiscoverDefaultMailAccount(m_home);
    ASSERT_TRUE(account);
    EXPECT_EQ(account->smtpServer, "other.example.org");

    write(".thunderbird/profiles.ini",
          "[Profile0]\nName=x\nIsRelative=0\nPath=" + absolute + "\nDefault=1\n");
    write("elsewhere/profile/prefs.js", kPrefs);
    account = DiscoverDefaultMailAccount(m_home);
    ASSERT_TRUE(account);
    EXPECT_EQ(account->smtpServer, "smtp.example.org");
}

TEST_F(MailAccountDiscoveryTest, NothingWithoutProfileOrServer) {
    EXPECT_FALSE(DiscoverDefaultMailAccount(m_home));
    write(".thunderbird/profiles.ini", "[Profile0]\nPath=p\nDefault=1\n");
    EXPECT_FALSE(DiscoverDefaultMailAccount(m_home));
    write(".thunderbird/p/prefs.js", "user_pref(\"mail.identity.id1.useremail\", \"a@b.cd\");\n");
    EXPECT_FALSE(DiscoverDefaultMailAccount(m_home));
}

TEST(ReadPreferenceTest, MatchesWholeNamesAndReadsStringsAndNumbers) {
    EXPECT_EQ(ReadPreference(kPrefs, "mail.account.account1.identities"), "id2,id3");
    EXPECT_EQ(ReadPreference(kPrefs, "mail.smtpserver.smtp1.port"), "587");
    EXPECT_FALSE(ReadPreference(kPrefs, "mail.smtpserver.smtp1"));
    EXPECT_EQ(ReadPreference("user_pref(\"a\", \"x\\\"y\");", "a"), "x\"y");
    EXPECT_EQ(ReadPreference("user_pref(\"a\", \"" + std::string(300, 'v') + "\");", "a")->size(),
              259u);
}

}  // namespace
}  // namespace sonaro
