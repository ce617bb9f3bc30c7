#pragma once

#include <string>

#include "net/mail_message.h"
#include "net/net_task.h"

namespace sonaro {

struct MailHandoffOptions {
    // Looked up on PATH, then in /usr/sbin and /usr/lib.
    std::string program = "sendmail";
    // How long the program may take to accept the message once its input is closed.
    int exitBudgetMs = 120000;
};

// Hands the message to the system's mail transfer agent: the MIME message (the same as the SMTP
// client sends, with "\n" line breaks and no dot-stuffing) piped into `sendmail -t -oi`, which
// takes the recipients from the To line. True when the program accepted it (exit code 0). A stop
// request kills the program and gives false. Reports nothing of its own.
bool SendViaMapi(const MailMessage& message, NetTask& task, const MailHandoffOptions& options = {});

// True when the mail transfer agent's program is installed (looked up as SendViaMapi does).
bool IsMapiAvailable(const MailHandoffOptions& options = {});

}  // namespace sonaro
