#include "net/mail_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "net/mail_account_discovery.h"
#include "support/parsed_mail.h"
#include "support/recording_task.h"
#include "support/scripted_server.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

using test::ReadTextFile;

// A fake `sendmail` first on PATH that keeps its arguments and input and exits with the code in
// the file "exit" (0 when absent).
class FakeSendmail : public test::SettingsTest {
  protected:
    FakeSendmail() {
        test::WriteTextFile(m_dir + "/sendmail",
                            "#!/bin/sh\ncd \"$(dirname \"$0\")\"\nprintf '%s\\n' \"$@\" > args\n"
                            "cat > input\nexit $(cat exit 2>/dev/null || echo 0)\n");
        chmod((m_dir + "/sendmail").c_str(), 0755);
    }

    test::ScopedEnv m_path{"PATH", m_dir + ":" + test::GetEnv("PATH")};
};

TEST_F(FakeSendmail, HandOffPipesTheSameMessageWithoutDotStuffing) {
    const std::string wav = test::RandomBytes(100000, 3);
    test::WriteTextFile(m_dir + "/take.wav", wav);
    MailMessage message{"ann@example.com,bob@example.org",
                        "Aufnahme \xC3\xBC",
                        ".dot first\r\n.\r\nlast",
                        {m_dir + "/take.wav"},
                        "me@example.net"};
    test::RecordingTask task;
    ASSERT_EQ(MailSender(m_settings).SendMailMessage(message, task), SendResult::Ok);
    EXPECT_EQ(ReadTextFile(m_dir + "/args"), "-t\n-oi\n");
    const std::string input = ReadTextFile(m_dir + "/input");
    EXPECT_EQ(input.find('\r'), std::string::npos);
    EXPECT_THAT(input, testing::HasSubstr("\n.dot first\n.\nlast\n"));
    const test::ParsedMail mail = test::ParseStoredMail(m_dir + "/input");
    ASSERT_TRUE(mail.ok);
    EXPECT_EQ(mail.to, "ann@example.com, bob@example.org");
    EXPECT_EQ(mail.from, "me@example.net");
    EXPECT_EQ(mail.subject, message.subject);
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_TRUE(mail.attachments[0].bytes == wav);
    EXPECT_TRUE(task.messages.empty());
}

TEST_F(FakeSendmail, RefusalMissingProgramAndNoRecipientGiveFailed) {
    test::WriteTextFile(m_dir + "/exit", "75");
    const MailMessage message{"ann@example.com", "s", "b", {}, ""};
    test::RecordingTask task;
    EXPECT_EQ(MailSender(m_settings).SendMailMessage(message, task), SendResult::Failed);
    EXPECT_EQ(ReadTextFile(m_dir + "/input").find("From:"), std::string::npos);

    test::WriteTextFile(m_dir + "/exit", "0");
    MailSenderOptions missing;
    missing.handoff.program = "sonaro-no-such-mailer";
    EXPECT_EQ(MailSender(m_settings, missing).SendMailMessage(message, task), SendResult::Failed);
    EXPECT_FALSE(SendViaMapi(MailMessage{" , ", "s", "b", {}, ""}, task));
    EXPECT_TRUE(task.messages.empty());
}

TEST_F(FakeSendmail, SmtpJobFollowsTheEmailSettings) {
    // "UseSMTPHost" never written: direct delivery, the method the E-mail page shows then.
    m_settings.WriteSettingBool("Email", "UseMAPI", false);
    m_settings.WriteSettingString("Email", "MailSMTPHost", "mail.example.com");
    m_settings.WriteSettingBool("Email", "SMTPAuthOn", true);
    m_settings.WriteSettingString("Email", "SMTPUserName", "u");
    m_settings.WriteSettingBool("Email", "SendDirect", false);
    m_settings.WriteSettingBool("Email", "AllowPlainPassword", true);
    MailSenderOptions options;
    options.smtpPassword = [] { return std::string("pw"); };
    options.smtp.localName = "testhost";
    options.smtp.replyMs = 3000;
    const MailSender sender(m_settings, options);
    const MailMessage message{"ann@example.com", "s", "b", {}, ""};
    SmtpJob job = sender.BuildSmtpJob(message);
    EXPECT_TRUE(job.host.empty() && job.user.empty() && job.password.empty() && job.sendDirect);

    test::ScriptedServer server;
    m_settings.WriteSettingBool("Email", "UseSMTPHost", true);
    m_settings.WriteSettingString("Email", "MailSMTPHost",
                                  "127.0.0.1:" + std::to_string(server.port()));
    job = sender.BuildSmtpJob(message);
    EXPECT_FALSE(job.sendDirect);
    server.accept().send("220 hi\r\n").expect("EHLO testhost").send("250 ok\r\n");
    server.expect("AUTH LOGIN").send("334 VXNlcm5hbWU6\r\n");
    server.expect("dQ==").send("334 UGFzc3dvcmQ6\r\n");
    server.expect("cHc=").send("235 welcome\r\n");
    server.expect("MAIL FROM:<Sonaro@127.0.0.1>").send("250 ok\r\n");
    server.expect("RCPT TO:<ann@example.com>").send("250 ok\r\n");
    server.expect("DATA").send("354 go\r\n").receiveUntil("\r\n.\r\n").send("250 ok\r\n");
    server.expect("QUIT").send("221 bye\r\n");
    server.start();
    test::RecordingTask task;
    EXPECT_EQ(sender.SendMailMessage(message, task), SendResult::Ok);
    EXPECT_EQ(server.finish(), "");
    EXPECT_TRUE(ReadTextFile(m_dir + "/input").empty());
}

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
