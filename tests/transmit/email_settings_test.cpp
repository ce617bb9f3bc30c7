#include "transmit/email_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/openssl_secret_cipher.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

class EmailSettingsTest : public test::SettingsTest {
  protected:
    EmailSettingsTest() : m_cipher(keyPath()), m_passwords(m_settings, &m_cipher) {}

    std::string keyPath() const { return m_dir + "/data/" + OpenSslSecretCipher::kKeyFileName; }

    std::string email(std::string_view name) const {
        return m_settings.ReadSettingString("Email", name, "<unset>");
    }

    OpenSslSecretCipher m_cipher;
    StoredPassword m_passwords;
};

TEST_F(EmailSettingsTest, DefaultsAreAppliedOnceEvenWhenNothingIsFound) {
    int asked = 0;
    ApplyEmailDefaultsOnce(m_settings, [&]() -> std::optional<MailAccount> {
        ++asked;
        return std::nullopt;
    });
    ApplyEmailDefaultsOnce(m_settings, [&]() -> std::optional<MailAccount> {
        ++asked;
        return MailAccount{"smtp.example.org", "a@example.org"};
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(email("DefaultsSet"), "1");
    EXPECT_EQ(email("MailSMTPHost"), "<unset>");
}

TEST_F(EmailSettingsTest, LoadTakesTheMethodFromTheFlags) {
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Mapi);
    m_settings.WriteSettingBool("Email", "UseSMTPHost", true);
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Mapi);
    m_settings.WriteSettingBool("Email", "UseMAPI", false);
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Smtp);
    m_settings.WriteSettingBool("Email", "UseSMTPHost", false);
    const EmailSettings loaded = LoadEmailSettings(m_settings, m_passwords);
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
    EXPECT_EQ(titleOf(), "ok");
    EXPECT_EQ(email("SendDirect"), "0");
    EXPECT_EQ(email("UseSMTPHost"), "1");
    EXPECT_EQ(email("SMTPAuthOn"), "1");
    const EmailSettings loaded = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_EQ(loaded.password, "pw");
    EXPECT_EQ(loaded.host, "smtp.example.org:2525");
    EXPECT_EQ(loaded.method, EmailSendMethod::Smtp);
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
    EXPECT_EQ(LoadEmailSettings(m_settings, m_passwords).method, EmailSendMethod::Direct);
}

}  // namespace
}  // namespace sonaro
