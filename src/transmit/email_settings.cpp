#include "transmit/email_settings.h"

#include "transmit/transmit_options.h"

namespace sonaro {
namespace {

constexpr std::string_view kEmail = "Email";

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
    if (settings.ReadSettingBool(kEmail, "DefaultsSet", false)) {
        return;
    }
    settings.WriteSettingString(kEmail, "DefaultsSet", "1");
    if (const auto account = find()) {
        settings.WriteSettingString(kEmail, "MailSMTPHost", account->smtpServer);
        settings.WriteSettingString(kEmail, "ReplyToEmail", account->emailAddress);
    }
}

EmailSettings LoadEmailSettings(const SettingsStore& settings, const StoredPassword& passwords) {
    EmailSettings values;
    const bool mapi = settings.ReadSettingBool(kEmail, "UseMAPI", true);
    const bool smtp = !mapi && settings.ReadSettingBool(kEmail, "UseSMTPHost", false);
    values.method =
        mapi ? EmailSendMethod::Mapi : (smtp ? EmailSendMethod::Smtp : EmailSendMethod::Direct);
    values.sendDirectFallback = settings.ReadSettingBool(kEmail, "SendDirect", true);
    values.host = settings.ReadSettingString(kEmail, "MailSMTPHost", "");
    values.replyTo = settings.ReadSettingString(kEmail, "ReplyToEmail", "");
    values.authentication = settings.ReadSettingBool(kEmail, "SMTPAuthOn", false);
    values.user = settings.ReadSettingString(kEmail, "SMTPUserName", "");
    values.password = ReadSmtpPassword(passwords, SettingsStore::SectionKeyPath(kEmail));
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
    settings.WriteSettingBool(kEmail, "UseMAPI", mapi);
    if (mapi) {
        settings.WriteSettingBool(kEmail, "SendDirect", false);
    } else {
        if (auto refused = checkReplyTo(values)) {
            return refused;
        }
        if (values.method == EmailSendMethod::Smtp) {
            if (auto refused = checkSmtp(values)) {
                return refused;
            }
        }
        settings.WriteSettingBool(
            kEmail, "SendDirect",
            values.method == EmailSendMethod::Smtp ? values.sendDirectFallback : true);
    }
    std::string problem;
    if (!StoreSmtpPassword(passwords, SettingsStore::SectionKeyPath(kEmail), values.password,
                           problem)) {
        return FieldComplaint{static_cast<int>(EmailField::Password),
                              PasswordNotSavedMessage(problem), std::string(kPasswordNotSavedTitle),
                              PromptIcon::Warning};
    }
    settings.WriteSettingBool(kEmail, "UseSMTPHost", values.method == EmailSendMethod::Smtp);
    settings.WriteSettingString(kEmail, "MailSMTPHost", values.host);
    settings.WriteSettingString(kEmail, "SMTPUserName", values.user);
    settings.WriteSettingString(kEmail, "ReplyToEmail", values.replyTo);
    settings.WriteSettingBool(kEmail, "SMTPAuthOn", values.authentication);
    settings.WriteSettingString(kEmail, "SetViewed", "1");
    return std::nullopt;
}

}  // namespace sonaro
