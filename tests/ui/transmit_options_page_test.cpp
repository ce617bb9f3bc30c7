#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "net/mail_message.h"
#include "options_fixture.h"
#include "settings/setting_names.h"
#include "support/manual_dispatcher.h"
#include "ui/email_send_dlg.h"
#include "ui/email_settings_dialog.h"
#include "ui/options_dialog.h"
#include "ui/transmit_options_page.h"

namespace sonaro {

// The Transmit page, the e-mail settings and the send dialog, with their encryption choices.
class TransmitOptionsPageTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_fixture = std::make_unique<test::OptionsFixture>();
        m_sent.clear();
        m_sendResult = SendResult::Ok;
    }
    void cleanup() { m_fixture.reset(); }

    void enablingFollowsTheMethodBoxes() {
        auto [dialog, page] = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        QVERIFY(!page->toField()->isEnabled() && !page->emailSettings()->isEnabled());
        QVERIFY(!page->ftpPassword()->isEnabled() && !page->browseProgram()->isEnabled());
        QCOMPARE(page->ftpDirectory()->text(), QStringLiteral("/"));
        QVERIFY(page->promptFirst()->isChecked());
        page->sendEmail()->setChecked(true);
        page->sendFtp()->setChecked(true);
        QVERIFY(page->toField()->isEnabled() && page->ftpPassword()->isEnabled());
        QVERIFY(!page->folderField()->isEnabled());
        QCOMPARE(page->ftpPassword()->echoMode(), QLineEdit::Password);
    }

    void checksInOrderWithBalloonsAndNoTestFileLeft() {
        auto [dialog, page] = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        page->sendEmail()->setChecked(true);
        page->toField()->setText("ann@example");
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid Email", "Please enter a valid email address.",
                                     page->toField()}));

        page->toField()->setText("ann@example.org");
        QVERIFY(page->ftpSecure()->isVisible() && page->ftpSecure()->isChecked());
        QVERIFY(!page->ftpPlainPassword()->isChecked());
        QVERIFY(!page->ftpSecure()->isEnabled() && !page->ftpPlainPassword()->isEnabled());
        page->sendFtp()->setChecked(true);
        QVERIFY(page->ftpSecure()->isEnabled() && page->ftpPlainPassword()->isEnabled());
        page->ftpPlainPassword()->setChecked(true);
        page->ftpServer()->setText("ftp.example.org");
        page->ftpUser()->setText("ann");
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"", "FTP Server or user details are required.",
                                     page->ftpServer()}));

        page->ftpPassword()->setText("ftp-pass-77");
        page->sendFolder()->setChecked(true);
        std::string readOnly = m_fixture->home.path() + "/readonly";
        if (geteuid() == 0) {
            readOnly = "/sys";
        } else {
            QCOMPARE(mkdir(readOnly.c_str(), 0555), 0);
        }
        page->folderField()->setText(QString::fromStdString(readOnly));
        QCOMPARE(test::RefusalOf(*dialog),
                 (test::ShownBalloon{"Invalid Folder",
                                     "You don't have the permission to write to the specified "
                                     "folder. Please select a valid folder to transmit "
                                     "recordings to.",
                                     page->folderField()}));

        const std::string backup = m_fixture->home.path() + "/backup";
        std::filesystem::create_directories(backup);
        page->folderField()->setText(QString::fromStdString(backup));
        page->runAutomatically()->setChecked(true);
        QVERIFY(test::Accepts(*dialog));
        QVERIFY(std::filesystem::is_empty(backup));
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "To", ""), "ann@example.org");
        QVERIFY(!m_fixture->settings.ReadSettingBool("Settings", "bPromptTransmit", true));
        // The FTP password is sealed like the SMTP password.
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "Password", "none"), "none");
        QCOMPARE(ReadFtpPassword(m_fixture->passwords), "ftp-pass-77");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "1");
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "AllowPlainPassword", ""), "1");

        // Changing only an encryption choice is a change of the methods group: it is saved.
        std::tie(dialog, page) = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        QVERIFY(page->ftpPlainPassword()->isChecked());
        page->ftpSecure()->setChecked(false);
        QVERIFY(test::Accepts(*dialog));
        QCOMPARE(m_fixture->settings.ReadSettingString("Ftp", "UseSSL", ""), "0");
    }

    void emailDefaultsFromThunderbirdOnlyOnce() {
        writeThunderbirdProfile();
        {
            EmailSettingsDialog dialog(m_fixture->services);
            dialog.show();
            QCOMPARE(dialog.hostField()->text(), QStringLiteral("smtp.example.net"));
            QCOMPARE(dialog.replyField()->text(), QStringLiteral("ann@example.net"));
            QVERIFY(test::SaveScreenshot(dialog, "email_settings.png"));
            dialog.useSmtp()->setChecked(true);
            dialog.hostField()->clear();
            dialog.replyField()->clear();
            QCOMPARE(test::RefusalOf(dialog),
                     (test::ShownBalloon{"Reply Email Required",
                                         "If you choose SMTP you must enter a valid reply-to "
                                         "address. Enter your email address.",
                                         dialog.replyField()}));
            dialog.sendDirect()->setChecked(true);
            dialog.replyField()->setText("me@example.org");
            QVERIFY(test::Accepts(dialog));
        }
        EmailSettingsDialog again(m_fixture->services);
        QCOMPARE(again.hostField()->text(), QString());
        QCOMPARE(again.replyField()->text(), QStringLiteral("me@example.org"));
        QVERIFY(again.sendDirect()->isChecked());
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "SetViewed", ""), "1");
    }

    void emailDialogEnablingMapiCheckPasswordAndEncryption() {
        EmailSettingsDialog dialog(m_fixture->services);
        dialog.show();
        QVERIFY(dialog.useMapi()->isChecked());
        QVERIFY(!dialog.hostField()->isEnabled() && !dialog.userField()->isEnabled());
        QVERIFY(dialog.secure()->isVisible() && dialog.secure()->isChecked());
        QVERIFY(dialog.plainPassword()->isVisible() && !dialog.plainPassword()->isChecked());
        QVERIFY(dialog.plainPassword()->text().contains(QStringLiteral("not secure")));
        // Both belong to the mail host; the password choice to its log-on.
        QVERIFY(!dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
        QVERIFY(!test::Accepts(dialog));
        QCOMPARE(m_fixture->prompter.shown().back().title, "MAPI Not Detected");
        QCOMPARE(m_fixture->prompter.shown().back().icon, PromptIcon::Information);

        dialog.useSmtp()->setChecked(true);
        QVERIFY(dialog.hostField()->isEnabled() && !dialog.userField()->isEnabled());
        QVERIFY(dialog.secure()->isEnabled() && !dialog.plainPassword()->isEnabled());
        dialog.authentication()->setChecked(true);
        QVERIFY(dialog.userField()->isEnabled() && dialog.passwordField()->isEnabled());
        QVERIFY(dialog.plainPassword()->isEnabled());
        dialog.secure()->setChecked(false);
        dialog.plainPassword()->setChecked(true);
        dialog.hostField()->setText("smtp.example.org:587");
        dialog.replyField()->setText("me@example.org");
        dialog.userField()->setText("me");
        QCOMPARE(test::RefusalOf(dialog),
                 (test::ShownBalloon{"Password Required",
                                     "If your SMTP server requires authentication, you must "
                                     "enter a valid SMTP password to connect to your server.",
                                     dialog.passwordField()}));
        dialog.passwordField()->setText("smtp-secret-9");
        QVERIFY(test::Accepts(dialog));

        EmailSettingsDialog reopened(m_fixture->services);
        QCOMPARE(reopened.passwordField()->text(), QStringLiteral("smtp-secret-9"));
        QVERIFY(reopened.useSmtp()->isChecked());
        QVERIFY(!reopened.secure()->isChecked());
        QVERIFY(reopened.plainPassword()->isChecked());
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "UseSSL", ""), "0");
        QCOMPARE(m_fixture->settings.ReadSettingString("Email", "AllowPlainPassword", ""), "1");
        QVERIFY(!m_fixture->home.backend.readValue(
            RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Email"), "SMTPPassword"));
    }

    void browsingForAProgramKeepsItsFolder() {
        const std::string folder = m_fixture->home.path() + "/tools";
        std::filesystem::create_directories(folder);
        const std::string program = folder + "/convert.sh";
        std::ofstream(program) << "#!/bin/sh\n";
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        auto [dialog, page] = m_fixture->showPage<TransmitOptionsPage>(OptionsDialog::kTransmit);
        page->sendRun()->setChecked(true);
        QString title;
        test::WhenShown<QFileDialog>([&](QFileDialog* picker) {
            title = picker->windowTitle();
            // Typed as a whole path, the name does not wait for the folder's listing to load.
            auto* name = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(QString::fromStdString(program));
            static_cast<QDialog*>(picker)->accept();
        });
        QTest::mouseClick(page->browseProgram(), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Browse for exe"));
        QCOMPARE(page->programField()->text(), QString::fromStdString(program));
        QCOMPARE(m_fixture->settings.ReadSettingString("Settings", "OpenExeDir", ""), folder);
    }

    void sendDialogStartsWithTheLastAddressAndRefusesAnImplausibleOne() {
        m_fixture->settings.Write(setting::kEmailDialogTo, "last@example.org");
        auto dialog = showSendDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Send to Email Address"));
        QCOMPARE(dialog->addressField()->text(), QStringLiteral("last@example.org"));
        send(*dialog, "  ann@example ");
        QVERIFY(dialog->isVisible());
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Please enter a valid email address."));
        QCOMPARE(test::ShownBalloon::Current().field, dialog->addressField());
        QVERIFY(m_sent.empty());
        QCOMPARE(m_fixture->settings.Read(setting::kEmailDialogTo), "last@example.org");
    }

    void sendDialogSendsTheRecordingBehindAProgressWindowAndCloses() {
        m_fixture->settings.Write(setting::kReplyToEmail, "me@example.net");
        auto dialog = showSendDialog();
        send(*dialog, " ann@example.org ");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_fixture->prompter.progressTitles(), std::vector<std::string>{"Sending Email"});
        QCOMPARE(m_sent.size(), std::size_t(1));
        QCOMPARE(m_sent[0].to, "ann@example.org");
        QCOMPARE(m_sent[0].subject, "Sonaro Sound Recorder Attachment");
        QCOMPARE(m_sent[0].body, "Please see the attachment sent by Sonaro Sound Recorder.");
        QCOMPARE(m_sent[0].attachments, std::vector<std::string>{"/rec/take 1.wav"});
        QCOMPARE(m_sent[0].replyTo, "me@example.net");
        QCOMPARE(m_fixture->settings.Read(setting::kEmailDialogTo), "ann@example.org");
    }

    void aFailedSendStaysOpenWithTheComplaint() {
        m_sendResult = SendResult::Failed;
        auto dialog = showSendDialog();
        send(*dialog, "ann@example.org");
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Unable to send the email, please check your settings and the "
                                "address you are sending to."));
    }

    void unseenEmailSettingsOpenBeforeSendingAndTheirCancelSendsNothing() {
        auto dialog = showSendDialog(false);
        bool opened = false;
        test::WhenShown<EmailSettingsDialog>([&opened](EmailSettingsDialog* settings) {
            opened = true;
            settings->reject();
        });
        send(*dialog, "ann@example.org");
        QVERIFY(opened);
        QVERIFY(dialog->isVisible());
        QVERIFY(m_sent.empty());
    }

  private:
    void writeThunderbirdProfile() {
        const std::string base = m_fixture->home.path() + "/.thunderbird";
        std::filesystem::create_directories(base + "/x1.default");
        std::ofstream(base + "/profiles.ini") << "[Profile0]\nName=default\nIsRelative=1\n"
                                                 "Path=x1.default\nDefault=1\n";
        std::ofstream(base + "/x1.default/prefs.js")
            << "user_pref(\"mail.accountmanager.defaultaccount\", \"account1\");\n"
               "user_pref(\"mail.account.account1.identities\", \"id1\");\n"
               "user_pref(\"mail.identity.id1.useremail\", \"ann@example.net\");\n"
               "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
               "user_pref(\"mail.smtpserver.smtp1.hostname\", \"smtp.example.net\");\n";
    }

    std::unique_ptr<LEmailSendDlg> showSendDialog(bool settingsSeen = true) {
        m_fixture->settings.Write(setting::kEmailSetViewed, settingsSeen);
        auto dialog = std::make_unique<LEmailSendDlg>(
            m_fixture->services, m_dispatcher,
            [this](const MailMessage& message, NetTask&) {
                m_sent.push_back(message);
                return m_sendResult;
            },
            "/rec/take 1.wav");
        dialog->show();
        return dialog;
    }
    static void send(LEmailSendDlg& dialog, const char* address) {
        dialog.addressField()->setText(QString::fromLatin1(address));
        dialog.okButton()->click();
    }

    std::unique_ptr<test::OptionsFixture> m_fixture;
    test::ManualDispatcher m_dispatcher;
    std::vector<MailMessage> m_sent;
    SendResult m_sendResult = SendResult::Ok;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::TransmitOptionsPageTest)
#include "transmit_options_page_test.moc"
