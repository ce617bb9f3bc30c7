#include "net/mail_sender.h"

#include "settings/settings_store.h"

namespace sonaro {
SendResult MailSender::SendMailMessage(const MailMessage& message, NetTask& task) const {
    if (m_settings.Read(setting::kUseMapi)) {
        if (SendViaMapi(message, task, m_options.handoff)) {
            return SendResult::Ok;
        }
        return task.IsStopRequested() ? SendResult::Stopped : SendResult::Failed;
    }
    return SendSmtpMail(BuildSmtpJob(message), task, m_options.smtp);
}

SmtpJob MailSender::BuildSmtpJob(const MailMessage& message) const {
    SmtpJob job;
    job.to = message.to;
    job.sender = message.replyTo;
    job.subject = message.subject;
    job.body = message.body;
    job.attachments = message.attachments;
    const bool useHost = m_settings.Read(setting::kUseSmtpHost);
    if (!useHost) {
        return job;
    }
    job.host = m_settings.Read(setting::kMailSmtpHost);
    job.sendDirect = m_settings.Read(setting::kSendDirect);
    job.secure = m_settings.Read(setting::kEmailUseSsl);
    job.allowPlainPassword = m_settings.Read(setting::kEmailAllowPlainPassword);
    if (m_settings.Read(setting::kSmtpAuthOn)) {
        job.user = m_settings.Read(setting::kSmtpUserName);
        job.password = m_options.smtpPassword ? m_options.smtpPassword() : std::string();
    }
    return job;
}

}  // namespace sonaro
