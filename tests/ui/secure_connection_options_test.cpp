#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include "options_fixture.h"
#include "ui/email_settings_dialog.h"
#include "ui/options_dialog.h"
#include "ui/transmit_options_page.h"

namespace sonaro {

// The encryption choices of the e-mail settings dialog and of the Transmit page's FTP group.
class SecureConnectionOptionsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_fixture = std::make_unique<test::OptionsFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void emailDialogOffersEncryptionAndAClearlyWordedPlainPasswordChoice() {
        {
            EmailSettingsDialog dialog(m_fixture->services);
            dialog.show();
            QVERIFY(dialog.secure()->isVisible() && dialog.secure()->isChecked());
            QVERIFY(dialog.plainPassword()->isVisible() && !dialog.plainPassword()->isChecked());
            QVERIFY(dialog.plainPassword()->text().contains(QStringLiteral("not secure")));
            // Both belong to the mail host; the password choice to its log-on.
            QVERIFY(!dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
            dialog.useSmtp()->setChecked(true);
            QVERIFY(dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
            dialog.authentication()->setChecked(true);
            QVERIFY(dialog.plainPassword()->isEnabled());

            dialog.hostField()->setText("smtp.example.org:587");
            dialog.replyField()->setText("me@example.org");
            dialog.userField()->setText("me");
            dialog.passwordField()->setText("pw");
            dialog.secure()->setChecked(false);
            dialog.plainPassword()->setChecked(true);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "UseSSL", ""), "0");
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "AllowPlainPassword", ""), "1");
        EmailSettingsDialog reopened(m_fixture->services);
        QVERIFY(!reopened.secure()->isChecked());
        QVERIFY(reopened.plainPassword()->isChecked());
    }

    void transmitPageHasTheFtpCounterpart() {
        {
            OptionsDialog dialog(m_fixture->services, OptionsDialog::kTransmit);
            dialog.show();
            auto* page = dialog.page<TransmitOptionsPage>(OptionsDialog::kTransmit);
            QVERIFY(page->ftpSecure()->isVisible() && page->ftpSecure()->isChecked());
            QVERIFY(!page->ftpPlainPassword()->isChecked());
            QVERIFY(!page->ftpSecure()->isEnabled() && !page->ftpPlainPassword()->isEnabled());
            page->sendFtp()->setChecked(true);
            QVERIFY(page->ftpSecure()->isEnabled() && page->ftpPlainPassword()->isEnabled());
            page->ftpServer()->setText("ftp.example.org");
            page->ftpUser()->setText("user");
            page->ftpPassword()->setText("pw");
            page->ftpPlainPassword()->setChecked(true);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "1");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "AllowPlainPassword", ""), "1");

        // Changing only an encryption choice is a change of the methods group: it is saved.
        {
            OptionsDialog dialog(m_fixture->services, OptionsDialog::kTransmit);
            dialog.show();
            auto* page = dialog.page<TransmitOptionsPage>(OptionsDialog::kTransmit);
            QVERIFY(page->ftpPlainPassword()->isChecked());
            page->ftpSecure()->setChecked(false);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "0");
    }

  private:
    std::unique_ptr<test::OptionsFixture> m_fixture;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::SecureConnectionOptionsTest)
#include "secure_connection_options_test.moc"
