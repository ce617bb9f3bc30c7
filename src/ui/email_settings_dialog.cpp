#include "ui/email_settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/options_page.h"

namespace sonaro {

EmailSettingsDialog::EmailSettingsDialog(OptionsServices& services, QWidget* parent)
    : QDialog(parent), m_services(services) {
    setWindowTitle(QStringLiteral("Email Settings"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildMethod());
    layout->addWidget(buildReply());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &EmailSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &EmailSettingsDialog::reject);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(m_mapi), static_cast<QAbstractButton*>(m_smtp),
          static_cast<QAbstractButton*>(m_direct), static_cast<QAbstractButton*>(m_auth)}) {
        connect(button, &QAbstractButton::toggled, this, &EmailSettingsDialog::updateEnabling);
    }
    load();
}

QWidget* EmailSettingsDialog::buildMethod() {
    auto* frame = new QGroupBox(QStringLiteral("Send Method"), this);
    auto* grid = new QGridLayout(frame);
    grid->setColumnMinimumWidth(0, 20);
    m_mapi = new QRadioButton(
        QStringLiteral("Use MAPI to send email with email software (eg. Eudora, Outlook, etc)"),
        frame);
    m_smtp = new QRadioButton(QStringLiteral("Use SMTP to send email directly to the mail server"),
                              frame);
    m_direct = new QRadioButton(
        QStringLiteral("Send directly to other side (work as own SMTP server)"), frame);
    auto* choice = new QButtonGroup(frame);
    for (QRadioButton* button : {m_mapi, m_smtp, m_direct}) {
        choice->addButton(button);
    }
    m_hostLabel = new QLabel(QStringLiteral("SMTP mail host:"), frame);
    m_host = new QLineEdit(frame);
    m_host->setPlaceholderText(QStringLiteral("smtp.example.com"));
    m_auth = new QCheckBox(QStringLiteral("Server requires authentication"), frame);
    m_userLabel = new QLabel(QStringLiteral("User Name:"), frame);
    m_user = new QLineEdit(frame);
    m_passwordLabel = new QLabel(QStringLiteral("Password:"), frame);
    m_password = new QLineEdit(frame);
    m_password->setEchoMode(QLineEdit::Password);
    m_fallback =
        new QCheckBox(QStringLiteral("If server is down, attempt to send directly"), frame);
    m_secure = new QCheckBox(QStringLiteral("Use secure connection (SSL/TLS) if available"), frame);
    m_plainPassword = new QCheckBox(
        QStringLiteral("Send the password even when the connection is not secure (anyone on "
                       "the network could read it)"),
        frame);
    int row = 0;
    grid->addWidget(m_mapi, row++, 0, 1, 3);
    grid->addWidget(m_smtp, row++, 0, 1, 3);
    grid->addWidget(m_hostLabel, row, 1);
    grid->addWidget(m_host, row++, 2);
    grid->addWidget(m_auth, row++, 1, 1, 2);
    grid->addWidget(m_userLabel, row, 1);
    grid->addWidget(m_user, row++, 2);
    grid->addWidget(m_passwordLabel, row, 1);
    grid->addWidget(m_password, row++, 2);
    grid->addWidget(m_fallback, row++, 1, 1, 2);
    grid->addWidget(m_secure, row++, 1, 1, 2);
    grid->addWidget(m_plainPassword, row++, 1, 1, 2);
    grid->addWidget(m_direct, row++, 0, 1, 3);
    return frame;
}

QWidget* EmailSettingsDialog::buildReply() {
    auto* frame = new QGroupBox(QStringLiteral("Default Reply Email"), this);
    auto* row = new QHBoxLayout(frame);
    m_replyLabel = new QLabel(QStringLiteral("Default reply email:"), frame);
    m_reply = new QLineEdit(frame);
    m_reply->setPlaceholderText(QStringLiteral("you@example.com"));
    row->addWidget(m_replyLabel);
    row->addWidget(m_reply, 1);
    return frame;
}

void EmailSettingsDialog::load() {
    if (m_services.findMailAccount) {
        ApplyEmailDefaultsOnce(m_services.settings, m_services.findMailAccount);
    }
    const EmailSettings values = LoadEmailSettings(m_services.settings, m_services.passwords);
    m_mapi->setChecked(values.method == EmailSendMethod::Mapi);
    m_smtp->setChecked(values.method == EmailSendMethod::Smtp);
    m_direct->setChecked(values.method == EmailSendMethod::Direct);
    m_fallback->setChecked(values.sendDirectFallback);
    m_host->setText(ToQt(values.host));
    m_reply->setText(ToQt(values.replyTo));
    m_auth->setChecked(values.authentication);
    m_user->setText(ToQt(values.user));
    m_password->setText(ToQt(values.password));
    m_secure->setChecked(values.secure);
    m_plainPassword->setChecked(values.allowPlainPassword);
    updateEnabling();
}

void EmailSettingsDialog::updateEnabling() {
    const bool smtp = m_smtp->isChecked();
    for (QWidget* widget : {static_cast<QWidget*>(m_hostLabel), static_cast<QWidget*>(m_host),
                            static_cast<QWidget*>(m_auth), static_cast<QWidget*>(m_fallback),
                            static_cast<QWidget*>(m_secure)}) {
        widget->setEnabled(smtp);
    }
    const bool credentials = smtp && m_auth->isChecked();
    for (QWidget* widget :
         {static_cast<QWidget*>(m_userLabel), static_cast<QWidget*>(m_user),
          static_cast<QWidget*>(m_passwordLabel), static_cast<QWidget*>(m_password),
          static_cast<QWidget*>(m_plainPassword)}) {
        widget->setEnabled(credentials);
    }
    m_replyLabel->setEnabled(smtp || m_direct->isChecked());
}

QWidget* EmailSettingsDialog::fieldWidget(int field) {
    switch (static_cast<EmailField>(field)) {
        case EmailField::Method:
            return m_mapi;
        case EmailField::ReplyTo:
            return m_reply;
        case EmailField::Host:
            return m_host;
        case EmailField::User:
            return m_user;
        case EmailField::Password:
            return m_password;
    }
    return nullptr;
}

void EmailSettingsDialog::accept() {
    EmailSettings values;
    values.method = m_mapi->isChecked()
                        ? EmailSendMethod::Mapi
                        : (m_smtp->isChecked() ? EmailSendMethod::Smtp : EmailSendMethod::Direct);
    values.host = FromQt(m_host->text());
    values.authentication = m_auth->isChecked();
    values.user = FromQt(m_user->text());
    values.password = FromQt(m_password->text());
    values.sendDirectFallback = m_fallback->isChecked();
    values.replyTo = FromQt(m_reply->text());
    values.secure = m_secure->isChecked();
    values.allowPlainPassword = m_plainPassword->isChecked();
    const bool mapiAvailable = m_services.mapiAvailable && m_services.mapiAvailable();
    if (const auto complaint =
            SaveEmailSettings(m_services.settings, m_services.passwords, values, mapiAvailable)) {
        ShowComplaint(m_services.prompter, *complaint, fieldWidget(complaint->field));
        return;
    }
    QDialog::accept();
}

bool ShowEmailSettingsDialog(QWidget* parent, OptionsServices& services) {
    EmailSettingsDialog dialog(services, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace sonaro
