#include "transmit/email_settings.h"

#include "transmit/transmit_options.h"

namespace sonaro {
namespace {

std::optional<FieldComplaint> checkReplyTo(const EmailSettings& values) {
    if (values.replyTo.empty()) {
        return Balloon(EmailField::ReplyTo,
                       "If you choose SMTP you must enter a valid reply-to address. Enter your "
                       "email address.",
                       "Reply Email Required");
    }
    if (!IsPlausibleEmailAddress(values.replyTo)) {
        return Balloon(EmailField::ReplyTo, "Please enter a valid reply-to email address.", "");
    }
    return std::nullopt;
}

std::optional<FieldComplaint> checkSmtp(const EmailSettings& values) {
    if (values.host.empty()) {
        return Balloon(EmailField::Host,
                       "If you choose SMTP you must enter a SMTP mailhost. Call your ISP if you "
                       "don't know what your SMTP mailhost is.",
                       "Mailhost Required");
    }
    if (values.authentication && values.user.empty()) {
        return Balloon(EmailField::User,
                       "If your SMTP server requires authentication, you must enter a SMTP "
                       "username to connect to your server.",
                       "User Name Required");
    }
    if (values.authentication && values.password.empty()) {
        return Balloon(EmailField::Password,
                       "If your SMTP server requires authentication, you must enter a valid "
                       "SMTP password to connect to your server.",
                       "Password Required");
    }
    return std::nullopt;
}

}  // namespace

void ApplyEmailDefaultsOnce(SettingsStore& settings, const MailAccountFinder& find) {
    if (settings.Read(setting::kEmailDefaultsSet)) {
        return;
    }
    settings.Write(setting::kEmailDefaultsSet, true);
    if (const auto account = find()) {
        settings.Write(setting::kMailSmtpHost, account->smtpServer);
        settings.Write(setting::kReplyToEmail, account->emailAddress);
    }
}

EmailSettings LoadEmailSettings(const SettingsStore& settings, const StoredPassword& passwords) {
    EmailSettings values;
    const bool mapi = settings.Read(setting::kUseMapi);
    const bool smtp = !mapi && settings.Read(setting::kUseSmtpHost);
    values.method =
        mapi ? EmailSendMethod::Mapi : (smtp ? EmailSendMethod::Smtp : EmailSendMethod::Direct);
    values.sendDirectFallback = settings.Read(setting::kSendDirect);
    values.host = settings.Read(setting::kMailSmtpHost);
    values.replyTo = settings.Read(setting::kReplyToEmail);
    values.authentication = settings.Read(setting::kSmtpAuthOn);
    values.user = settings.Read(setting::kSmtpUserName);
    values.password = ReadSmtpPassword(passwords);
    values.secure = settings.Read(setting::kEmailUseSsl);
    values.allowPlainPassword = settings.Read(setting::kEmailAllowPlainPassword);
    return values;
}

std::optional<FieldComplaint> SaveEmailSettings(SettingsStore& settings, StoredPassword& passwords,
                                                const EmailSettings& values, bool mapiAvailable) {
    const bool mapi = values.method == EmailSendMethod::Mapi;
    if (mapi && !mapiAvailable) {
        return FieldComplaint{
            static_cast<int>(EmailField::Method),
            "Your email software (eg. Outlook Eudora etc.) has not been setup for MAPI. Refer to "
            "your email software Help to find out how to set it up for MAPI. Otherwise use the "
            "SMTP option.",
            "MAPI Not Detected", PromptIcon::Information};
    }
    settings.Write(setting::kUseMapi, mapi);
    if (mapi) {
        settings.Write(setting::kSendDirect, false);
    } else {
        if (auto refused = checkReplyTo(values)) {
            return refused;
        }
        if (values.method == EmailSendMethod::Smtp) {
            if (auto refused = checkSmtp(values)) {
                return refused;
            }
        }
        settings.Write(setting::kSendDirect,
                       values.method == EmailSendMethod::Smtp ? values.sendDirectFallback : true);
    }
    std::string problem;
    if (!StoreSmtpPassword(passwords, values.password, problem)) {
        return FieldComplaint{static_cast<int>(EmailField::Password),
                              PasswordNotSavedMessage(problem), std::string(kPasswordNotSavedTitle),
                              PromptIcon::Warning};
    }
    settings.Write(setting::kUseSmtpHost, values.method == EmailSendMethod::Smtp);
    settings.Write(setting::kMailSmtpHost, values.host);
    settings.Write(setting::kSmtpUserName, values.user);
    settings.Write(setting::kReplyToEmail, values.replyTo);
    settings.Write(setting::kSmtpAuthOn, values.authentication);
    settings.Write(setting::kEmailUseSsl, values.secure);
    settings.Write(setting::kEmailAllowPlainPassword, values.allowPlainPassword);
    settings.Write(setting::kEmailSetViewed, true);
    return std::nullopt;
}

}  // namespace sonaro
