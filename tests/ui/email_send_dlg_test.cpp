#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "net/mail_message.h"
#include "options_fixture.h"
#include "settings/setting_names.h"
#include "support/manual_dispatcher.h"
#include "ui/email_send_dlg.h"
#include "ui/email_settings_dialog.h"

namespace sonaro {

class LEmailSendDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_fixture = std::make_unique<test::OptionsFixture>();
        m_sent.clear();
        m_result = SendResult::Ok;
        m_fixture->settings.Write(setting::kEmailSetViewed, true);
    }
    void cleanup() { m_fixture.reset(); }

    void startsWithTheLastAddressAndRefusesAnImplausibleOne() {
        m_fixture->settings.Write(setting::kEmailDialogTo, "last@example.org");
        auto dialog = makeDialog();
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Send to Email Address"));
        QCOMPARE(dialog->addressField()->text(), QStringLiteral("last@example.org"));
        dialog->addressField()->setText(QStringLiteral("  ann@example "));
        dialog->okButton()->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Please enter a valid email address."));
        QCOMPARE(test::ShownBalloon::Current().field, dialog->addressField());
        QVERIFY(m_sent.empty());
        QCOMPARE(QString::fromStdString(m_fixture->settings.Read(setting::kEmailDialogTo)),
                 QStringLiteral("last@example.org"));
    }

    void sendsTheRecordingBehindAProgressWindowAndCloses() {
        m_fixture->settings.Write(setting::kReplyToEmail, "me@example.net");
        auto dialog = makeDialog();
        dialog->show();
        dialog->addressField()->setText(QStringLiteral(" ann@example.org "));
        dialog->okButton()->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_fixture->prompter.progressTitles(), std::vector<std::string>{"Sending Email"});
        QCOMPARE(m_sent.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(m_sent[0].to), QStringLiteral("ann@example.org"));
        QCOMPARE(QString::fromStdString(m_sent[0].subject),
                 QStringLiteral("Sonaro Sound Recorder Attachment"));
        QCOMPARE(QString::fromStdString(m_sent[0].body),
                 QStringLiteral("Please see the attachment sent by Sonaro Sound Recorder."));
        QCOMPARE(m_sent[0].attachments, std::vector<std::string>{"/rec/take 1.wav"});
        QCOMPARE(QString::fromStdString(m_sent[0].replyTo), QStringLiteral("me@example.net"));
        QCOMPARE(QString::fromStdString(m_fixture->settings.Read(setting::kEmailDialogTo)),
                 QStringLiteral("ann@example.org"));
    }

    void aFailedSendStaysOpenWithTheComplaint() {
        m_result = SendResult::Failed;
        auto dialog = makeDialog();
        dialog->show();
        dialog->addressField()->setText(QStringLiteral("ann@example.org"));
        dialog->okButton()->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(test::ShownBalloon::Current().text,
                 QStringLiteral("Unable to send the email, please check your settings and the "
                                "address you are sending to."));
    }

    void unseenSettingsOpenFirstAndTheirCancelSendsNothing() {
        m_fixture->settings.Write(setting::kEmailSetViewed, false);
        auto dialog = makeDialog();
        dialog->show();
        dialog->addressField()->setText(QStringLiteral("ann@example.org"));
        bool opened = false;
        test::WhenShown<EmailSettingsDialog>([&opened](EmailSettingsDialog* settings) {
            opened = true;
            settings->reject();
        });
        dialog->okButton()->click();
        QVERIFY(opened);
        QVERIFY(dialog->isVisible());
        QVERIFY(m_sent.empty());
    }

  private:
    std::unique_ptr<LEmailSendDlg> makeDialog() {
        return std::make_unique<LEmailSendDlg>(
            m_fixture->services, m_dispatcher,
            [this](const MailMessage& message, NetTask&) {
                m_sent.push_back(message);
                return m_result;
            },
            "/rec/take 1.wav");
    }

    std::unique_ptr<test::OptionsFixture> m_fixture;
    test::ManualDispatcher m_dispatcher;
    std::vector<MailMessage> m_sent;
    SendResult m_result = SendResult::Ok;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::LEmailSendDlgTest)
#include "email_send_dlg_test.moc"
