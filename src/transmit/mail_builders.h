#pragma once

#include <string>
#include <string_view>

#include "net/mail_message.h"
#include "transmit/email_settings.h"

namespace sonaro {

class SettingsStore;

// The messages the program sends. Each builder first applies the one-time e-mail defaults (so
// a first message already goes out from the user's own account; an empty `find` looks for no
// account), then reads "ReplyToEmail".

// "Sonaro Sound Recorder - Emailed Recording <name>", at most 259 bytes (never half a character).
std::string RecordingMailSubject(std::string_view name);

// The body of a mailed recording: the file's name, then a closing block naming the program and,
// when `webServer` is not empty, the maker's web address. Lines end in "\r\n".
std::string RecordingMailBody(std::string_view name, std::string_view webServer);

// A finished recording mailed by the transmit pass: `to`, subject and body as given, the
// recording as the one attachment.
MailMessage BuildRecordingMessage(SettingsStore& settings, const MailAccountFinder& find,
                                  std::string to, std::string subject, std::string body,
                                  std::string recordingPath);

// One recording mailed from the recordings window.
MailMessage BuildAttachmentMessage(SettingsStore& settings, const MailAccountFinder& find,
                                   std::string to, std::string recordingPath);

// The error report: no attachment.
MailMessage BuildErrorReportMessage(SettingsStore& settings, const MailAccountFinder& find,
                                    std::string to, std::string subject, std::string body);

}  // namespace sonaro
