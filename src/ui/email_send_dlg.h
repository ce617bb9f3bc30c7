#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "net/mail_message.h"
#include "net/net_task.h"
#include "support/send_result.h"
#include "ui/options_services.h"

class QLineEdit;
class QPushButton;

namespace sonaro {

class UiDispatcher;

// Sends one message on a background job's thread (SendMailMessage in the program).
using MailSendFunction = std::function<SendResult(const MailMessage& message, NetTask& task)>;

// "Send to Email Address": mails one recording to an address the user types, behind a
// "Sending Email" progress window. The recordings window opens it. User-interface thread.
class LEmailSendDlg final : public QDialog {
    Q_OBJECT

  public:
    LEmailSendDlg(OptionsServices& services, UiDispatcher& dispatcher, MailSendFunction send,
                  std::string recordingPath, QWidget* parent = nullptr);

    QLineEdit* addressField() const { return m_address; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* optionsButton() const { return m_options; }

    // Checks the address, saves it, makes sure the e-mail settings were seen once, and sends;
    // the dialog closes only when the message went out.
    void accept() override;

  private:
    void complain(std::string_view text, std::string_view title);

    OptionsServices& m_services;
    UiDispatcher& m_dispatcher;
    MailSendFunction m_send;
    std::string m_recording;
    QLineEdit* m_address;
    QPushButton* m_ok;
    QPushButton* m_options;
};

}  // namespace sonaro
