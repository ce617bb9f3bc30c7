#pragma once

#include <functional>
#include <string>

#include "net/mail_handoff.h"
#include "net/mail_message.h"
#include "net/net_task.h"
#include "net/smtp_client.h"
#include "support/send_result.h"

namespace sonaro {

class SettingsStore;

struct MailSenderOptions {
    SmtpOptions smtp;
    MailHandoffOptions handoff;
    // The stored SMTP password in clear; none configured: empty.
    std::function<std::string()> smtpPassword;
};

// The single entry for all e-mail sending: the system hand-off when "UseMAPI" is yes (the
// default; Stopped when a stop ended it), else the program's SMTP client with the job built from
// the "Email" settings.
// Runs on the sending job's thread.
class MailSender {
  public:
    MailSender(const SettingsStore& settings, MailSenderOptions options = {})
        : m_settings(settings), m_options(std::move(options)) {}

    SendResult SendMailMessage(const MailMessage& message, NetTask& task) const;
    // The SMTP job for `message` under the current settings.
    SmtpJob BuildSmtpJob(const MailMessage& message) const;

  private:
    const SettingsStore& m_settings;
    MailSenderOptions m_options;
};

}  // namespace sonaro
