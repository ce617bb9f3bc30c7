#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "net/net_task.h"
#include "support/send_result.h"

namespace sonaro {

// Where a streamed message goes: the SMTP data phase or the mail hand-off's pipe.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Sends every byte within `budgetMs` of stall; Stopped on a stop request.
    virtual SendResult Send(std::string_view bytes, int budgetMs) = 0;
};

// What goes into one message. Line breaks inside the header texts are removed before use.
struct MimeContent {
    // Empty: no From line (the mail hand-off then lets the system fill it in).
    std::string from;
    std::string to;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;
};

struct MimeOptions {
    // SMTP doubles a leading "." on every line; the hand-off (sendmail -oi) must not.
    bool dotStuff = true;
    int headerBudgetMs = 20000;
    int textBudgetMs = 30000;
    // The maker's web address ("WebServerUrl"); the X-Mailer line names it with "/software".
    // Empty: the line names the program alone.
    std::string makerWebAddress;
};

// Streams one MIME message: the header block, a UTF-8 text part and base64 attachments read in
// chunks, so memory use does not grow with the attachment size. Reports status and progress
// (0.2 to 0.9) through the task. A send that is not Ok, or a stop between chunks, ends the message
// with that result.
SendResult WriteMimeMessage(const MimeContent& content, std::time_t now, const MimeOptions& options,
                            MessageSink& sink, NetTask& task);

// "Sun, 06 Dec 2026 21:05:09 +0100": the local time of `now` and its offset from UTC.
std::string FormatMailDate(std::time_t now);
// The subject as is when it is plain ASCII, else RFC 2047 "Q" encoded words of UTF-8 (each at most
// 75 characters, folded onto continuation lines, never splitting a character).
std::string EncodeSubject(std::string_view subject);
// The first "gc0p4Jq0M2Yt08jU534c<n>" (n = 0 to 99) that does not occur in the body; n = 99 when
// they all do.
std::string ChooseBoundary(std::string_view body);
// "audio/wav", "audio/mpeg" or "application/octet-stream" by the extension of the last component.
std::string_view AttachmentContentType(std::string_view path);
// The text with every run of CR and LF removed, or replaced by one `replacement`.
std::string WithoutLineBreaks(std::string_view text, std::string_view replacement = {});

}  // namespace sonaro
