#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/endpoint.h"
#include "net/net_task.h"
#include "support/send_result.h"

namespace sonaro {

// One message for the SMTP client, built by SendMailMessage from the message and the settings.
struct SmtpJob {
    std::string to;
    std::string sender;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;
    // "MailSMTPHost" (may carry ":port"); empty for direct delivery only.
    std::string host;
    // Empty: no log-on.
    std::string user;
    std::string password;
    // When the host cannot be reached, deliver to the recipients' mail exchangers.
    bool sendDirect = true;
    // With the host: STARTTLS when the server offers it ("Use secure connection (SSL/TLS) if
    // available"). The implicit-TLS port is encrypted whatever this says.
    bool secure = false;
    // The log-on may go over a connection that is not encrypted. Without it, a server that
    // cannot encrypt never sees the user name or password: the send fails instead.
    bool allowPlainPassword = false;
};

// Budgets and services of the client; tests shorten the budgets and point domains at loopback.
struct SmtpOptions {
    int connectMs = 10000;
    int replyMs = 40000;
    int commandMs = 20000;
    int textMs = 30000;
    // The whole TLS handshake.
    int handshakeMs = 20000;
    // A host on this port speaks TLS from the first byte (SMTP submission over TLS).
    std::uint16_t implicitTlsPort = 465;
    // Endpoints for a recipient domain, in the order to try.
    std::function<std::vector<Endpoint>(std::string_view domain)> mailExchangers;
    // The name given in HELO/EHLO; empty: LocalHostName().
    std::string localName;
    // The Date header's time; empty: now.
    std::function<std::time_t()> clock;
    // Details for the program log (encryption set up or refused, and why); empty: none kept.
    std::function<void(std::string_view)> log;
};

// Reassembles one SMTP reply from received pieces: lines up to 258 characters are kept; a line
// whose fourth character is not "-" ends the reply.
class SmtpReplyParser {
  public:
    // Takes received bytes; true once the reply is complete (later bytes are ignored).
    bool feed(std::string_view bytes);
    bool complete() const { return m_complete; }
    // The final line's leading number; 0 when it has none or the reply is not complete.
    int code() const { return m_complete ? m_code : 0; }
    // The reply's lines as kept, without their line breaks (at most 100).
    const std::vector<std::string>& lines() const { return m_lines; }

  private:
    std::string m_line;
    std::vector<std::string> m_lines;
    bool m_complete = false;
    int m_code = 0;
};

// Sends one message through the configured host or straight to each recipient's mail exchanger.
// Every failure text goes to task.ReportMessage; status and progress to the task as well.
SendResult SendSmtpMail(const SmtpJob& job, NetTask& task, const SmtpOptions& options = {});

}  // namespace sonaro
