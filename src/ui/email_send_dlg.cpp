#include "ui/email_send_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/setting_names.h"
#include "support/function_job.h"
#include "transmit/mail_builders.h"
#include "transmit/transmit_options.h"
#include "ui/email_settings_dialog.h"
#include "ui/options_page.h"

namespace sonaro {
namespace {

constexpr std::string_view kInvalidAddress = "Please enter a valid email address.";
constexpr std::string_view kNotSent =
    "Unable to send the email, please check your settings and the address you are sending to.";

}  // namespace

LEmailSendDlg::LEmailSendDlg(OptionsServices& services, UiDispatcher& dispatcher,
                             MailSendFunction send, std::string recordingPath, QWidget* parent)
    : QDialog(parent),
      m_services(services),
      m_dispatcher(dispatcher),
      m_send(std::move(send)),
      m_recording(std::move(recordingPath)) {
    setWindowTitle(QStringLiteral("Send to Email Address"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Email"), this);
    m_address = new QLineEdit(this);
    m_address->setMinimumWidth(260);
    label->setBuddy(m_address);
    row->addWidget(label);
    row->addWidget(m_address, 1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_options = new QPushButton(QStringLiteral("Email Options"), this);
    buttons->addWidget(m_options);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &LEmailSendDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &LEmailSendDlg::reject);
    connect(m_options, &QPushButton::clicked, this,
            [this] { ShowEmailSettingsDialog(this, m_services); });
    m_address->setText(ToQt(m_services.settings.Read(setting::kEmailDialogTo)));
}

void LEmailSendDlg::complain(std::string_view text, std::string_view title) {
    ShowComplaint(m_services.prompter, Balloon(0, text, title), m_address);
}

void LEmailSendDlg::accept() {
    const std::string to = FromQt(m_address->text().trimmed());
    if (!IsPlausibleEmailAddress(to)) {
        complain(kInvalidAddress, "Invalid Email");
        return;
    }
    m_services.settings.Write(setting::kEmailDialogTo, to);
    if (!m_services.settings.Read(setting::kEmailSetViewed) &&
        !ShowEmailSettingsDialog(this, m_services)) {
        return;
    }
    const MailMessage message =
        BuildAttachmentMessage(m_services.settings, m_services.findMailAccount, to, m_recording);
    SendResult result = SendResult::Failed;
    FunctionJob job(m_dispatcher, [&](LProgressReporter& reporter) {
        ReporterNetTask task(reporter);
        result = m_send(message, task);
    });
    m_services.prompter.RunWithProgress("Sending Email", job);
    if (result != SendResult::Ok) {
        complain(kNotSent, "Email Not Sent");
        return;
    }
    QDialog::accept();
}

}  // namespace sonaro
