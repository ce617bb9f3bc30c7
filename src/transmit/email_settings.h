#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/mail_account_discovery.h"
#include "settings/stored_password.h"
#include "support/field_complaint.h"

namespace sonaro {

// The three ways of sending e-mail the "Email Settings" dialog offers.
enum class EmailSendMethod { Mapi, Smtp, Direct };

// The "Email Settings" dialog's values (section "Email").
struct EmailSettings {
    EmailSendMethod method = EmailSendMethod::Mapi;
    std::string host;                 // "MailSMTPHost"
    bool authentication = false;      // "SMTPAuthOn"
    std::string user;                 // "SMTPUserName"
    std::string password;             // the stored SMTP password
    bool sendDirectFallback = true;   // "SendDirect" with the SMTP method
    std::string replyTo;              // "ReplyToEmail"
    bool secure = true;               // "UseSSL": STARTTLS with the mail host when offered
    bool allowPlainPassword = false;  // "AllowPlainPassword": log on over a plain connection
};

enum class EmailField : int { Method = 0, ReplyTo = 1, Host = 2, User = 3, Password = 4 };

// The mail account to pre-fill from; nothing when none is found.
using MailAccountFinder = std::function<std::optional<MailAccount>()>;

// Once per user ("DefaultsSet" of "Email" still no): marks the defaults as set, then fills
// "MailSMTPHost" and "ReplyToEmail" from the account `find` gives, when it gives one.
void ApplyEmailDefaultsOnce(SettingsStore& settings, const MailAccountFinder& find);

// The dialog's starting values (call ApplyEmailDefaultsOnce first).
EmailSettings LoadEmailSettings(const SettingsStore& settings, const StoredPassword& passwords);

// OK in the dialog: the MAPI method needs `mapiAvailable` (a message box otherwise); "UseMAPI" is
// written, then the fields of the chosen method are checked, the password is stored (refused
// with a message box when it cannot be encrypted), and everything is written with "SetViewed" =
// 1. Nothing after a refusal is written.
std::optional<FieldComplaint> SaveEmailSettings(SettingsStore& settings, StoredPassword& passwords,
                                                const EmailSettings& values, bool mapiAvailable);

}  // namespace sonaro
