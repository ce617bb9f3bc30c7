#include "transmit/email_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "net/mail_sender.h"
#include "settings/setting_names.h"
#include "transmit/mail_builders.h"
#include "transmit_fixture.h"

namespace sonaro {
namespace {

class EmailSettingsTest : public test::TransmitTest {
  protected:
    std::string email(std::string_view name) const {
        return m_settings.ReadSettingString("Email", name, "<unset>");
    }
    SmtpJob jobFromSettings() const {
        return MailSender(m_settings).BuildSmtpJob(MailMessage{"a@example.org", "s", "b", {}, ""});
    }
    MailAccountFinder finder() {
        return [this] {
            ++m_lookups;
            return std::optional<MailAccount>(
                MailAccount{"smtp.found.example", "me@found.example"});
        };
    }
    int m_lookups = 0;
};

TEST_F(EmailSettingsTest, DefaultsAreAppliedOnceEvenWhenNothingIsFound) {
    int asked = 0;
    ApplyEmailDefaultsOnce(m_settings, [&]() -> std::optional<MailAccount> {
        ++asked;
        return std::nullopt;
    });
    ApplyEmailDefaultsOnce(m_settings, finder());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m_lookups, 0);
    EXPECT_EQ(email("DefaultsSet"), "1");
    EXPECT_EQ(email("MailSMTPHost"), "<unset>");
}

TEST_F(EmailSettingsTest, LoadTakesTheMethodFromTheFlags) {
    EmailSettings loaded = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_EQ(loaded.method, EmailSendMethod::Mapi);
    // Unset choices encrypt and keep the password off plain connections.
    EXPECT_TRUE(loaded.secure);
    EXPECT_FALSE(loaded.allowPlainPassword);
    m_settings.WriteSettingBool("Email", "UseSMTPHost", true);
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Mapi);
    m_settings.WriteSettingBool("Email", "UseMAPI", false);
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Smtp);
    const SmtpJob job = jobFromSettings();
    EXPECT_TRUE(job.secure);
    EXPECT_FALSE(job.allowPlainPassword);
    m_settings.WriteSettingBool("Email", "UseSMTPHost", false);
    loaded = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_EQ(loaded.method, EmailSendMethod::Direct);
    EXPECT_TRUE(loaded.sendDirectFallback);
}

TEST_F(EmailSettingsTest, MapiWithoutMailTransferAgentKeepsTheDialogOpen) {
    EmailSettings values;
    const auto refused = SaveEmailSettings(m_settings, m_passwords, values, false);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->title, "MAPI Not Detected");
    EXPECT_EQ(refused->messageBoxIcon, PromptIcon::Information);
    EXPECT_EQ(email("UseMAPI"), "<unset>");

    EXPECT_FALSE(SaveEmailSettings(m_settings, m_passwords, values, true));
    EXPECT_EQ(email("UseMAPI"), "1");
    EXPECT_EQ(email("SendDirect"), "0");
    EXPECT_EQ(email("SetViewed"), "1");
}

TEST_F(EmailSettingsTest, SmtpChecksInOrder) {
    EmailSettings values;
    values.method = EmailSendMethod::Smtp;
    values.authentication = true;
    const auto titleOf = [&] {
        const auto refused = SaveEmailSettings(m_settings, m_passwords, values, false);
        return refused ? refused->title + "|" + refused->text.substr(0, 20) : std::string("ok");
    };
    EXPECT_EQ(titleOf(), "Reply Email Required|If you choose SMTP y");
    values.replyTo = "me@x";
    EXPECT_EQ(titleOf(), "|Please enter a valid");
    values.replyTo = "me@example.org";
    EXPECT_EQ(titleOf(), "Mailhost Required|If you choose SMTP y");
    // "UseMAPI" is written before the fields are checked; the rest is not.
    EXPECT_EQ(email("UseMAPI"), "0");
    EXPECT_EQ(email("ReplyToEmail"), "<unset>");
    values.host = "smtp.example.org:2525";
    EXPECT_EQ(titleOf(), "User Name Required|If your SMTP server ");
    values.user = "me";
    EXPECT_EQ(titleOf(), "Password Required|If your SMTP server ");
    values.password = "pw";
    values.sendDirectFallback = false;
    values.secure = false;
    values.allowPlainPassword = true;
    EXPECT_EQ(titleOf(), "ok");
    EXPECT_EQ(email("SendDirect"), "0");
    EXPECT_EQ(email("UseSMTPHost"), "1");
    EXPECT_EQ(email("SMTPAuthOn"), "1");
    EXPECT_EQ(email("UseSSL"), "0");
    EXPECT_EQ(email("AllowPlainPassword"), "1");
    const EmailSettings loaded = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_EQ(loaded.password, "pw");
    EXPECT_EQ(loaded.host, "smtp.example.org:2525");
    EXPECT_EQ(loaded.method, EmailSendMethod::Smtp);
    EXPECT_FALSE(loaded.secure);
    EXPECT_TRUE(loaded.allowPlainPassword);
    const SmtpJob job = jobFromSettings();
    EXPECT_FALSE(job.secure);
    EXPECT_TRUE(job.allowPlainPassword);

    // A refused save leaves the stored choices alone.
    values.secure = true;
    values.replyTo.clear();
    EXPECT_NE(titleOf(), "ok");
    EXPECT_EQ(email("UseSSL"), "0");
}

TEST_F(EmailSettingsTest, PasswordThatCannotBeSealedIsRefusedInsteadOfKeptInPlainText) {
    // A folder where the key file belongs: no key can be read or made.
    std::filesystem::create_directories(keyPath());
    EmailSettings values;
    values.method = EmailSendMethod::Smtp;
    values.replyTo = "me@example.org";
    values.host = "smtp.example.org";
    values.authentication = true;
    values.user = "me";
    values.password = "pw-in-the-clear";
    const auto refused = SaveEmailSettings(m_settings, m_passwords, values, false);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->field, static_cast<int>(EmailField::Password));
    EXPECT_THAT(refused->text, testing::HasSubstr(keyPath()));
    EXPECT_THAT(refused->text, testing::HasSubstr("not a regular file"));
    EXPECT_EQ(refused->messageBoxIcon, PromptIcon::Warning);
    EXPECT_EQ(email("SMTPPassword"), "<unset>");
    EXPECT_EQ(email("SetViewed"), "<unset>");

    // Without a password there is nothing to seal: the other settings are saved.
    values.method = EmailSendMethod::Mapi;
    values.password.clear();
    EXPECT_FALSE(SaveEmailSettings(m_settings, m_passwords, values, true));
    EXPECT_EQ(email("SetViewed"), "1");
}

TEST_F(EmailSettingsTest, DirectSendingNeedsOnlyTheReplyAddress) {
    EmailSettings values;
    values.method = EmailSendMethod::Direct;
    values.sendDirectFallback = false;
    values.replyTo = "me@example.org";
    EXPECT_FALSE(SaveEmailSettings(m_settings, m_passwords, values, false));
    EXPECT_EQ(email("SendDirect"), "1");
    EXPECT_EQ(email("UseSMTPHost"), "0");
    // The encryption choices are kept for a later switch back to the host.
    EXPECT_EQ(email("UseSSL"), "1");
    EXPECT_EQ(email("AllowPlainPassword"), "0");
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Direct);
}

TEST_F(EmailSettingsTest, EachBuilderAppliesTheDefaultsOnceThenReadsTheReplyAddress) {
    const MailMessage first =
        BuildRecordingMessage(m_settings, finder(), "to@x.example", "S", "B", "/rec/a.wav");
    EXPECT_EQ(first.replyTo, "me@found.example");
    EXPECT_EQ(first.attachments, std::vector<std::string>{"/rec/a.wav"});
    EXPECT_EQ(m_settings.Read(setting::kMailSmtpHost), "smtp.found.example");

    m_settings.Write(setting::kReplyToEmail, "");
    const MailMessage second =
        BuildAttachmentMessage(m_settings, finder(), "to@x.example", "/rec/b.wav");
    EXPECT_EQ(m_lookups, 1) << "the account is looked for once per user";
    EXPECT_EQ(second.replyTo, "") << "a cleared address is not filled again";
    EXPECT_EQ(second.subject, "Sonaro Sound Recorder Attachment");
    EXPECT_EQ(second.body, "Please see the attachment sent by Sonaro Sound Recorder.");
    EXPECT_EQ(second.attachments, std::vector<std::string>{"/rec/b.wav"});

    m_settings.Write(setting::kReplyToEmail, "reply@x.example");
    const MailMessage report =
        BuildErrorReportMessage(m_settings, finder(), "bugs@x.example", "Report", "Text");
    EXPECT_EQ(report.replyTo, "reply@x.example");
    EXPECT_TRUE(report.attachments.empty());
    EXPECT_EQ(report.to, "bugs@x.example");
}

TEST_F(EmailSettingsTest, TheBodyNamesTheFileAndOnlyAConfiguredAddress) {
    const std::string plain = RecordingMailBody("take 1.wav", "");
    EXPECT_EQ(plain.rfind("Attached is a recording made by Sonaro Sound Recorder.\r\n\r\n"
                          "  File Name: take 1.wav\r\n  \r\n\r\n",
                          0),
              0u);
    EXPECT_THAT(plain, testing::HasSubstr(std::string(34, '-') + "\r\nSonaro Sound Recorder\r\n"));
    EXPECT_EQ(plain.find("http"), std::string::npos);
    EXPECT_EQ(plain.find("www"), std::string::npos);

    const std::string linked = RecordingMailBody("take 1.wav", "https://maker.example/");
    EXPECT_EQ(linked.substr(linked.size() - 24), "https://maker.example/\r\n");
    EXPECT_EQ(linked.find("http"), linked.find("https://maker.example/"));
}

TEST_F(EmailSettingsTest, TheSubjectIsCutAtACharacterBoundary) {
    EXPECT_EQ(RecordingMailSubject("a.wav"), "Sonaro Sound Recorder - Emailed Recording a.wav");
    std::string name;
    for (int i = 0; i < 200; ++i) {
        name += "\xC3\xBC";  // two bytes each
    }
    const std::string subject = RecordingMailSubject(name);
    EXPECT_LE(subject.size(), 259u);
    EXPECT_GE(subject.size(), 258u);
    EXPECT_NE(static_cast<unsigned char>(subject.back()), 0xC3u) << "no half character at the end";
}

}  // namespace
}  // namespace sonaro
