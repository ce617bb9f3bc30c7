#include "net/smtp_client.h"

#include "net/base64.h"
#include "net/mail_exchanger.h"
#include "net/mime_message.h"
#include "net/socket.h"
#include "net/wire_number.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kSmtpPort = 25;
constexpr std::size_t kReceiveChunk = 512;
constexpr std::size_t kMaxReplyLine = 258;
constexpr std::size_t kMaxAddress = 259;
constexpr std::size_t kMaxReplyLines = 100;

constexpr std::string_view kNoRecipients = "No recipients listed to receive email.";
constexpr std::string_view kInvalidAddress = "Invalid email address to send to";
constexpr std::string_view kNotResponding = "Mail server not responding";
constexpr std::string_view kHeloRefused = "Mail host server error (HELO not accepted)";
constexpr std::string_view kAuthRefused = "Email authentication username or password not accepted";
constexpr std::string_view kEncryptionRequired =
    "Encryption required for requested Email server. Please check your Email Settings.";
constexpr std::string_view kMailFromRefused =
    "Mail host server error (MAIL FROM not accepted). Please check your Email Settings.";
constexpr std::string_view kRcptRefused =
    "Mail send error (RCPT TO not accepted). Your SMTP server may require a username or "
    "password. Please see Email Settings.";
constexpr std::string_view kDataRefused = "Mail host server error (DATA not accepted)";
constexpr std::string_view kTerminatorRefused =
    "Mail host server error (data terminator not accepted)";
constexpr std::string_view kNoSecureConnection =
    "did not offer a secure connection, so the password was not sent. Please turn on \"Use "
    "secure connection (SSL/TLS) if available\" in your Email Settings, or allow sending the "
    "password unencrypted there.";

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += text;
    out += '"';
    return out;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The non-empty addresses between "," separators, blanks around them removed.
std::vector<std::string> splitRecipients(std::string_view to) {
    std::vector<std::string> pieces;
    while (!to.empty()) {
        const std::size_t comma = to.find(',');
        const std::string_view piece = trimBlanks(to.substr(0, comma));
        if (!piece.empty()) {
            pieces.emplace_back(piece.substr(0, kMaxAddress));
        }
        to = comma == std::string_view::npos ? std::string_view() : to.substr(comma + 1);
    }
    return pieces;
}

// The text after the last "@"; empty when there is none.
std::string domainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    return at == std::string_view::npos ? std::string() : std::string(address.substr(at + 1));
}

// The control connection of one message: commands, replies, and the data phase as a sink.
class SmtpSession final : public MessageSink {
  public:
    SmtpSession(NetTask& task, const SmtpOptions& options) : m_task(task), m_options(options) {}

    Socket& socket() { return m_socket; }
    NetTask& task() { return m_task; }
    const SmtpOptions& options() const { return m_options; }

    SendResult Send(std::string_view bytes, int budgetMs) override {
        return SendAll(m_task, m_socket, bytes, budgetMs);
    }
    SendResult command(std::string_view line) { return Send(line, m_options.commandMs); }

    // Code 0 unless the reply arrived whole; `lines` (when given) receives the reply's lines.
    SendResult readReply(int& code, std::vector<std::string>* lines = nullptr) {
        code = 0;
        SmtpReplyParser parser;
        char buffer[kReceiveChunk];
        while (!parser.complete()) {
            std::size_t count = 0;
            const SendResult result =
                ReceiveSome(m_task, m_socket, buffer, sizeof buffer, m_options.replyMs, count);
            if (result != SendResult::Ok) {
                return result;
            }
            parser.feed(std::string_view(buffer, count));
        }
        code = parser.code();
        if (lines != nullptr) {
            *lines = parser.lines();
        }
        return SendResult::Ok;
    }

    // Sends `line` and reads the reply into `code`. Stopped and failed sends come back as is; a
    // read that fails leaves the code at 0 for the caller's own text.
    SendResult exchange(std::string_view line, int& code,
                        std::vector<std::string>* lines = nullptr) {
        code = 0;
        const SendResult sent = command(line);
        if (sent != SendResult::Ok) {
            return sent;
        }
        const SendResult read = readReply(code, lines);
        return read == SendResult::Stopped ? read : SendResult::Ok;
    }

    // exchange(), then `failure` reported unless the code is `wanted`.
    SendResult require(std::string_view line, int wanted, std::string_view failure) {
        int code = 0;
        const SendResult result = exchange(line, code);
        if (result != SendResult::Ok) {
            return result;
        }
        return code == wanted ? SendResult::Ok : fail(failure);
    }

    SendResult fail(std::string_view text) {
        m_task.ReportMessage(text);
        return SendResult::Failed;
    }

    void log(std::string_view text) const {
        if (m_options.log) {
            m_options.log(text);
        }
    }

  private:
    NetTask& m_task;
    const SmtpOptions& m_options;
    Socket m_socket;
};

// What an EHLO reply offered.
struct ServerOffer {
    bool startTls = false;
    bool authPlain = false;
};

std::string upperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

// The keywords after the first line ("250-STARTTLS", "250 AUTH LOGIN PLAIN", "250-AUTH=PLAIN").
ServerOffer readOffer(const std::vector<std::string>& lines) {
    ServerOffer offer;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string keyword = upperCase(lines[i].size() > 4 ? lines[i].substr(4) : "");
        offer.startTls = offer.startTls || keyword == "STARTTLS";
        if (keyword.rfind("AUTH", 0) == 0 && keyword.size() > 4 &&
            (keyword[4] == ' ' || keyword[4] == '=')) {
            std::string mechanisms(1, ' ');
            mechanisms.append(keyword, 5);
            mechanisms += ' ';
            offer.authPlain = offer.authPlain || mechanisms.find(" PLAIN ") != std::string::npos;
        }
    }
    return offer;
}

std::string helloLine(bool extended, const SmtpOptions& options) {
    const std::string local = options.localName.empty() ? LocalHostName() : options.localName;
    return (extended ? "EHLO " : "HELO ") + local + "\r\n";
}

// EHLO with its offer when `extended`; a server that refuses EHLO gets HELO unless a log-on
// needs the extensions.
SendResult greet(SmtpSession& session, const SmtpJob& job, bool extended, ServerOffer& offer) {
    offer = ServerOffer{};
    if (extended) {
        int code = 0;
        std::vector<std::string> lines;
        const SendResult result =
            session.exchange(helloLine(true, session.options()), code, &lines);
        if (result != SendResult::Ok) {
            return result;
        }
        if (code == 250) {
            offer = readOffer(lines);
            return SendResult::Ok;
        }
        if (!job.user.empty()) {
            return session.fail(kHeloRefused);
        }
    }
    return session.require(helloLine(false, session.options()), 250, kHeloRefused);
}

// Encrypts the session for the host; a failure text names the reason.
SendResult encrypt(SmtpSession& session, const SmtpJob& job) {
    const std::string host = SplitEndpointText(job.host).host;
    std::string failure;
    std::string details;
    const SendResult result = StartTls(session.task(), session.socket(), host,
                                       session.options().handshakeMs, failure, nullptr, &details);
    if (result == SendResult::Ok) {
        session.log("SMTP: secure connection to " + job.host + " (" + details + ")");
    } else if (result == SendResult::Failed) {
        session.log("SMTP: secure connection to " + job.host + " refused: " + failure + " (" +
                    details + ")");
        return session.fail("Cannot make a secure connection to mail server " + quoted(job.host) +
                            ": " + failure + ".");
    }
    return result;
}

// STARTTLS when offered, then EHLO again for the offer made over the encrypted connection. A
// server that declines STARTTLS leaves the connection as it is.
SendResult startTls(SmtpSession& session, const SmtpJob& job, ServerOffer& offer) {
    int code = 0;
    SendResult result = session.exchange("STARTTLS\r\n", code);
    if (result != SendResult::Ok || code != 220) {
        return result;
    }
    result = encrypt(session, job);
    return result == SendResult::Ok ? greet(session, job, true, offer) : result;
}

std::string base64Lines(std::string_view text) {
    std::string lines;
    AppendBase64Lines(text, lines);
    return lines.empty() ? "\r\n" : lines;
}

std::string authCommand(const SmtpJob& job, const ServerOffer& offer) {
    if (!offer.authPlain) {
        return "AUTH LOGIN\r\n";
    }
    std::string credentials(1, '\0');
    credentials += job.user;
    credentials += '\0';
    credentials += job.password;
    return "AUTH PLAIN " + Base64Encode(credentials) + "\r\n";
}

SendResult logOn(SmtpSession& session, const SmtpJob& job, ServerOffer& offer) {
    int code = 0;
    SendResult result = session.exchange(authCommand(job, offer), code);
    if (result == SendResult::Ok && code == 503) {
        std::vector<std::string> lines;
        result = session.exchange(helloLine(true, session.options()), code, &lines);
        if (result == SendResult::Ok && code == 250) {
            offer = readOffer(lines);
            result = session.exchange(authCommand(job, offer), code);
        }
    }
    if (result != SendResult::Ok) {
        return result;
    }
    if (code == 530) {
        return session.fail(kEncryptionRequired);
    }
    if (code == 235 && offer.authPlain) {
        return SendResult::Ok;
    }
    if (offer.authPlain) {
        return session.fail(kAuthRefused);
    }
    if (code != 334) {
        return SendResult::Ok;
    }
    result = session.exchange(base64Lines(job.user), code);
    if (result != SendResult::Ok || code != 334) {
        return result;
    }
    return session.require(base64Lines(job.password), 235, kAuthRefused);
}

SendResult sendRecipients(SmtpSession& session, const std::vector<std::string>& recipients) {
    bool accepted = false;
    for (const std::string& recipient : recipients) {
        int code = 0;
        const SendResult result = session.exchange("RCPT TO:<" + recipient + ">\r\n", code);
        if (result != SendResult::Ok) {
            return result;
        }
        accepted = accepted || code == 250 || code == 251;
    }
    if (accepted) {
        return SendResult::Ok;
    }
    return session.task().IsStopRequested() ? SendResult::Stopped : session.fail(kRcptRefused);
}

SendResult sendContent(SmtpSession& session, const SmtpJob& job, const std::string& sender) {
    MimeContent content{sender, job.to, job.subject, job.body, job.attachments};
    const SmtpOptions& options = session.options();
    MimeOptions mime;
    mime.headerBudgetMs = options.commandMs;
    mime.textBudgetMs = options.textMs;
    const std::time_t now = options.clock ? options.clock() : std::time(nullptr);
    const SendResult result = WriteMimeMessage(content, now, mime, session, session.task());
    if (result != SendResult::Ok) {
        return result;
    }
    if (session.task().IsStopRequested()) {
        return SendResult::Stopped;
    }
    int code = 0;
    const SendResult sent = session.exchange("\r\n.\r\n", code);
    if (sent != SendResult::Ok || code == 250) {
        return sent;
    }
    return session.task().IsStopRequested() ? SendResult::Stopped
                                            : session.fail(kTerminatorRefused);
}

// The SMTP dialogue from the greeting to QUIT over a connected session. `to` is the job's
// recipient list (all through the host) or one address (direct delivery).
SendResult converse(SmtpSession& session, const SmtpJob& job, bool viaHost) {
    NetTask& task = session.task();
    task.ReportProgress(0.1);
    task.ReportStatus("Logon to server", 1);
    int code = 0;
    SendResult result = session.readReply(code);
    if (result == SendResult::Stopped) {
        return result;
    }
    if (code != 220) {
        return session.fail(kNotResponding);
    }
    ServerOffer offer;
    result = greet(session, job, viaHost && (job.secure || !job.user.empty()), offer);
    if (result == SendResult::Ok && viaHost && job.secure && !session.socket().isEncrypted() &&
        offer.startTls) {
        result = startTls(session, job, offer);
    }
    if (result == SendResult::Ok && viaHost && !job.user.empty()) {
        if (!session.socket().isEncrypted() && !job.allowPlainPassword) {
            session.log("SMTP: " + job.host + " is not encrypted; the log-on was not sent");
            return session.fail("Mail server " + quoted(job.host) + " " +
                                std::string(kNoSecureConnection));
        }
        result = logOn(session, job, offer);
    }
    if (result != SendResult::Ok) {
        return result;
    }
    std::string sender = job.sender;
    if (sender.empty()) {
        const std::string domain =
            job.host.empty() ? domainOf(job.to) : SplitEndpointText(job.host).host;
        if (domain.empty()) {
            return session.fail(kInvalidAddress);
        }
        sender = "Sonaro@" + domain;
    }
    result = session.require("MAIL FROM:<" + sender + ">\r\n", 250, kMailFromRefused);
    if (result == SendResult::Ok) {
        result = sendRecipients(session, splitRecipients(job.to));
    }
    if (result == SendResult::Ok) {
        result = session.require("DATA\r\n", 354, kDataRefused);
    }
    if (result == SendResult::Ok) {
        result = sendContent(session, job, sender);
    }
    if (result != SendResult::Ok) {
        return result;
    }
    task.ReportProgress(0.95);
    task.ReportStatus("Quit", 1);
    result = session.exchange("QUIT\r\n", code);
    return result == SendResult::Stopped ? result : SendResult::Ok;
}

SendResult connectDirect(SmtpSession& session, const SmtpJob& job, const std::string& domain) {
    const SmtpOptions& options = session.options();
    const std::vector<Endpoint> endpoints =
        options.mailExchangers ? options.mailExchangers(domain) : ResolveMailExchangers(domain);
    for (const Endpoint& endpoint : endpoints) {
        const SendResult result =
            ConnectWithTimeout(session.task(), session.socket(), endpoint, options.connectMs);
        if (result != SendResult::Failed) {
            return result;
        }
    }
    if (job.host.empty()) {
        return session.fail("Unable to connect to mail server " + quoted(domain) + ".");
    }
    return session.fail("Unable to connect to either mail server " + quoted(job.host) +
                        " or the mail server at " + quoted(domain) + ".");
}

SendResult sendToRecipients(const SmtpJob& job, NetTask& task, const SmtpOptions& options);

// Direct delivery: one message and connection per address.
SendResult deliverDirect(SmtpSession& session, const SmtpJob& job) {
    const std::vector<std::string> recipients = splitRecipients(job.to);
    if (recipients.size() > 1) {
        for (const std::string& recipient : recipients) {
            SmtpJob single = job;
            single.to = recipient;
            const SendResult result = sendToRecipients(single, session.task(), session.options());
            if (result != SendResult::Ok) {
                return result;
            }
        }
        return SendResult::Ok;
    }
    const std::string domain = recipients.empty() ? std::string() : domainOf(recipients.front());
    if (domain.empty()) {
        return session.fail(kInvalidAddress);
    }
    const SendResult result = connectDirect(session, job, domain);
    if (result != SendResult::Ok) {
        return result;
    }
    // A ":port" after the domain says where to deliver; it is no part of the mailbox.
    SmtpJob mailbox = job;
    mailbox.to = recipients.front().substr(0, recipients.front().rfind('@') + 1) +
                 SplitEndpointText(domain).host;
    return converse(session, mailbox, false);
}

SendResult sendToRecipients(const SmtpJob& job, NetTask& task, const SmtpOptions& options) {
    SmtpSession session(task, options);
    if (splitRecipients(job.to).empty()) {
        return session.fail(kNoRecipients);
    }
    task.ReportStatus("Sending Email to " + job.to, 0);
    task.ReportStatus("Connecting to server", 1);
    task.ReportProgress(0);
    if (!job.host.empty()) {
        const Endpoint endpoint = ResolveEndpoint(job.host, kSmtpPort);
        SendResult result = ConnectWithTimeout(task, session.socket(), endpoint, options.connectMs);
        if (result == SendResult::Ok && endpoint.port == options.implicitTlsPort) {
            result = encrypt(session, job);
            if (result != SendResult::Ok) {
                return result;
            }
        }
        if (result == SendResult::Ok) {
            return converse(session, job, true);
        }
        if (result == SendResult::Stopped) {
            return result;
        }
        if (!job.sendDirect) {
            return session.fail("Unable to connect to mail server " + quoted(job.host) + ".");
        }
    }
    return deliverDirect(session, job);
}

}  // namespace

bool SmtpReplyParser::feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (m_complete) {
            break;
        }
        if (m_line.size() < kMaxReplyLine) {
            m_line += c;
        }
        if (c != '\n') {
            continue;
        }
        if (m_lines.size() < kMaxReplyLines) {
            std::string kept = m_line;
            while (!kept.empty() && (kept.back() == '\n' || kept.back() == '\r')) {
                kept.pop_back();
            }
            m_lines.push_back(std::move(kept));
        }
        if (m_line.size() < 4 || m_line[3] != '-') {
            m_complete = true;
            std::uint64_t code = 0;
            m_code = ReadWireNumber(m_line, 999, code) ? static_cast<int>(code) : 0;
        }
        m_line.clear();
    }
    return m_complete;
}

SendResult SendSmtpMail(const SmtpJob& job, NetTask& task, const SmtpOptions& options) {
    // A line break inside an address, the subject or the host would start a new header line or a
    // new SMTP command.
    SmtpJob clean = job;
    clean.to = WithoutLineBreaks(job.to);
    clean.sender = WithoutLineBreaks(job.sender);
    clean.subject = WithoutLineBreaks(job.subject, " ");
    clean.host = WithoutLineBreaks(job.host);
    return sendToRecipients(clean, task, options);
}

}  // namespace sonaro
