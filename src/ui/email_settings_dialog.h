#pragma once

#include <QDialog>

#include "ui/options_services.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sonaro {

// The "Email Settings" dialog: how e-mail is sent and the default reply address. Applies the
// one-time defaults when it opens; OK checks and writes the values. Used on the user-interface
// thread.
class EmailSettingsDialog final : public QDialog {
    Q_OBJECT

  public:
    EmailSettingsDialog(OptionsServices& services, QWidget* parent = nullptr);

    QRadioButton* useMapi() const { return m_mapi; }
    QRadioButton* useSmtp() const { return m_smtp; }
    QRadioButton* sendDirect() const { return m_direct; }
    QLineEdit* hostField() const { return m_host; }
    QCheckBox* authentication() const { return m_auth; }
    QLineEdit* userField() const { return m_user; }
    QLineEdit* passwordField() const { return m_password; }
    QCheckBox* directFallback() const { return m_fallback; }
    QCheckBox* secure() const { return m_secure; }
    QCheckBox* plainPassword() const { return m_plainPassword; }
    QLineEdit* replyField() const { return m_reply; }

    void accept() override;

  private:
    QWidget* buildMethod();
    QWidget* buildReply();
    void load();
    void updateEnabling();
    QWidget* fieldWidget(int field);

    OptionsServices& m_services;
    QRadioButton* m_mapi;
    QRadioButton* m_smtp;
    QRadioButton* m_direct;
    QLabel* m_hostLabel;
    QLineEdit* m_host;
    QCheckBox* m_auth;
    QLabel* m_userLabel;
    QLineEdit* m_user;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QCheckBox* m_fallback;
    QCheckBox* m_secure;
    QCheckBox* m_plainPassword;
    QLabel* m_replyLabel;
    QLineEdit* m_reply;
};

// `ShowEmailSettingsDialog`: true when closed with OK.
bool ShowEmailSettingsDialog(QWidget* parent, OptionsServices& services);

}  // namespace sonaro
