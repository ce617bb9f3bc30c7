#pragma once

#include <string>
#include <vector>

namespace sonaro {

// One e-mail as the callers build it. Texts are UTF-8 (the Linux code page).
struct MailMessage {
    // One or more addresses separated by ",".
    std::string to;
    std::string subject;
    // Lines separated by "\r\n" (a bare "\n" is taken as a line break too).
    std::string body;
    // Full paths; may be empty.
    std::vector<std::string> attachments;
    // The sender address ("ReplyToEmail"); may be empty.
    std::string replyTo;
};

}  // namespace sonaro
