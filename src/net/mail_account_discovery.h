#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonaro {

// The user's default mail account as a mail program keeps it.
struct MailAccount {
    std::string smtpServer;
    std::string emailAddress;  // may be empty
};

// Reads the default Thunderbird account below `home` ("<home>/.thunderbird"): in "profiles.ini"
// the first profile marked "Default" (else the first with a "Path"), then from its "prefs.js" the
// default account's first identity, its address and outgoing server. Nothing when no server is
// found. Reads files only; safe on any thread.
std::optional<MailAccount> DiscoverDefaultMailAccount(const std::string& home);

// The value of preference `name` in the text of a "prefs.js" file: the first line whose first
// quoted text is exactly `name`; the value is the next quoted text, or the bare token (a number
// or true/false) after the comma. Cut to 259 characters.
std::optional<std::string> ReadPreference(std::string_view prefsText, std::string_view name);

}  // namespace sonaro
