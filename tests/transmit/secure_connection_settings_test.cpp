#include <gtest/gtest.h>

#include "net/mail_sender.h"
#include "platform/openssl_secret_cipher.h"
#include "support/settings_home.h"
#include "transmit/email_settings.h"
#include "transmit/transmit_options.h"

namespace sonaro {
namespace {

// The two encryption choices of e-mail and FTP, as stored beside the other "Email" and "Ftp"
// values and as the senders read them.
class SecureConnectionSettingsTest : public test::SettingsTest {
  protected:
    SecureConnectionSettingsTest()
        : m_cipher(m_dir + "/data/" + OpenSslSecretCipher::kKeyFileName),
          m_passwords(m_settings, &m_cipher) {}

    std::string stored(std::string_view section, std::string_view name) const {
        return m_settings.ReadSettingString(section, name, "<unset>");
    }
    SmtpJob jobFromSettings() const {
        return MailSender(m_settings).BuildSmtpJob(MailMessage{"a@example.org", "s", "b", {}, ""});
    }

    OpenSslSecretCipher m_cipher;
    StoredPassword m_passwords;
};

TEST_F(SecureConnectionSettingsTest, UnsetChoicesEncryptAndKeepThePasswordOffPlainConnections) {
    const EmailSettings email = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_TRUE(email.secure);
    EXPECT_FALSE(email.allowPlainPassword);
    const TransmitOptions transmit = LoadTransmitOptions(m_settings, m_passwords);
    EXPECT_TRUE(transmit.ftpSecure);
    EXPECT_FALSE(transmit.ftpAllowPlainPassword);

    m_settings.WriteSettingBool("Email", "UseMAPI", false);
    m_settings.WriteSettingBool("Email", "UseSMTPHost", true);
    m_settings.WriteSettingString("Email", "MailSMTPHost", "smtp.example.org");
    const SmtpJob job = jobFromSettings();
    EXPECT_TRUE(job.secure);
    EXPECT_FALSE(job.allowPlainPassword);
}

TEST_F(SecureConnectionSettingsTest, EmailChoicesAreWrittenOnOkAndReachTheSmtpJob) {
    EmailSettings values;
    values.method = EmailSendMethod::Smtp;
    values.host = "smtp.example.org:587";
    values.replyTo = "me@example.org";
    values.secure = false;
    values.allowPlainPassword = true;
    ASSERT_FALSE(SaveEmailSettings(m_settings, m_passwords, values, false));
    EXPECT_EQ(stored("Email", "UseSSL"), "0");
    EXPECT_EQ(stored("Email", "AllowPlainPassword"), "1");
    const EmailSettings loaded = LoadEmailSettings(m_settings, m_passwords);
    EXPECT_FALSE(loaded.secure);
    EXPECT_TRUE(loaded.allowPlainPassword);
    SmtpJob job = jobFromSettings();
    EXPECT_FALSE(job.secure);
    EXPECT_TRUE(job.allowPlainPassword);

    // A refused save (no reply address) leaves the stored choices alone.
    values.secure = true;
    values.replyTo.clear();
    EXPECT_TRUE(SaveEmailSettings(m_settings, m_passwords, values, false));
    EXPECT_EQ(stored("Email", "UseSSL"), "0");

    // Direct delivery keeps the choices for a later switch back to the host.
    values.method = EmailSendMethod::Direct;
    values.replyTo = "me@example.org";
    values.allowPlainPassword = false;
    ASSERT_FALSE(SaveEmailSettings(m_settings, m_passwords, values, false));
    EXPECT_EQ(stored("Email", "UseSSL"), "1");
    EXPECT_EQ(stored("Email", "AllowPlainPassword"), "0");
}

TEST_F(SecureConnectionSettingsTest, FtpChoicesAreSavedWithTheFtpGroupOnly) {
    TransmitOptions options;
    options.sendFtp = true;
    options.ftpServer = "ftp.example.org";
    options.ftpUser = "user";
    options.ftpPassword = "pw";
    options.ftpSecure = false;
    options.ftpAllowPlainPassword = true;
    ASSERT_FALSE(SaveTransmitOptions(m_settings, m_passwords, options, false, true));
    EXPECT_EQ(stored("Ftp", "UseSSL"), "<unset>");
    ASSERT_FALSE(SaveTransmitOptions(m_settings, m_passwords, options, true, true));
    EXPECT_EQ(stored("Ftp", "UseSSL"), "0");
    EXPECT_EQ(stored("Ftp", "AllowPlainPassword"), "1");
    const TransmitOptions loaded = LoadTransmitOptions(m_settings, m_passwords);
    EXPECT_FALSE(loaded.ftpSecure);
    EXPECT_TRUE(loaded.ftpAllowPlainPassword);
}

}  // namespace
}  // namespace sonaro
