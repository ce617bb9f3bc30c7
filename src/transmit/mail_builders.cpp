#include "transmit/mail_builders.h"

#include "settings/setting_names.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr std::size_t kMaxSubjectBytes = 259;
constexpr std::size_t kMaxBodyBytes = 2047;

// Cuts `text` to at most `bytes`, backing off to the start of a UTF-8 character.
std::string cutUtf8(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text;
}

MailMessage buildMessage(SettingsStore& settings, const MailAccountFinder& find, std::string to,
                         std::string subject, std::string body) {
    if (find) {
        ApplyEmailDefaultsOnce(settings, find);
    }
    MailMessage message;
    message.to = std::move(to);
    message.subject = std::move(subject);
    message.body = std::move(body);
    message.replyTo = settings.Read(setting::kReplyToEmail);
    return message;
}

}  // namespace

std::string RecordingMailSubject(std::string_view name) {
    return cutUtf8("Sonaro Sound Recorder - Emailed Recording " + std::string(name),
                   kMaxSubjectBytes);
}

std::string RecordingMailBody(std::string_view name, std::string_view webServer) {
    std::string body =
        "Attached is a recording made by Sonaro Sound Recorder.\r\n\r\n  File Name: ";
    body += name;
    body += "\r\n  \r\n\r\n";
    body += "Edit your recordings with Moldra, the free audio editor of the same maker.\r\n\r\n";
    body += std::string(34, '-') + "\r\nSonaro Sound Recorder\r\n";
    if (!webServer.empty()) {
        body += std::string(webServer) + "\r\n";
    }
    return cutUtf8(std::move(body), kMaxBodyBytes);
}

MailMessage BuildRecordingMessage(SettingsStore& settings, const MailAccountFinder& find,
                                  std::string to, std::string subject, std::string body,
                                  std::string recordingPath) {
    MailMessage message =
        buildMessage(settings, find, std::move(to), std::move(subject), std::move(body));
    message.attachments.push_back(std::move(recordingPath));
    return message;
}

MailMessage BuildAttachmentMessage(SettingsStore& settings, const MailAccountFinder& find,
                                   std::string to, std::string recordingPath) {
    return BuildRecordingMessage(settings, find, std::move(to), "Sonaro Sound Recorder Attachment",
                                 "Please see the attachment sent by Sonaro Sound Recorder.",
                                 std::move(recordingPath));
}

MailMessage BuildErrorReportMessage(SettingsStore& settings, const MailAccountFinder& find,
                                    std::string to, std::string subject, std::string body) {
    return buildMessage(settings, find, std::move(to), std::move(subject), std::move(body));
}

}  // namespace sonaro
