#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/stored_password.h"
#include "support/field_complaint.h"

namespace sonaro {

// The Transmit page's values.
struct TransmitOptions {
    bool sendEmail = false;  // "SendEmail"
    std::string to;          // "To" of "Email"
    bool sendFtp = false;    // "SendFtp"
    std::string ftpServer;   // "Ftp": "Server", "UserName", the password, "Directory"
    std::string ftpUser;
    std::string ftpPassword;
    std::string ftpDirectory = "/";
    bool ftpSecure = true;               // "UseSSL" of "Ftp"
    bool ftpAllowPlainPassword = false;  // "AllowPlainPassword" of "Ftp"
    bool sendFolder = false;             // "SendFolder"
    std::string folder;                  // "SendFolderDir"
    bool sendRun = false;                // "SendRun"
    std::string program;                 // "SendRunExe"
    bool prompt = true;                  // "bPromptTransmit"
};

enum class TransmitField : int { To = 0, FtpServer = 1, Folder = 2, Program = 3 };

// The check of `IsPlausibleEmailAddress`: with a the position of the last '@' and d that of the
// last '.' (0 when absent), a > 0, d > a and at least two characters after the dot.
bool IsPlausibleEmailAddress(std::string_view text);

// True when the test file "__wt" can be created in `folder`; it is removed again at once.
bool CanWriteToFolder(const std::string& folder);

TransmitOptions LoadTransmitOptions(const SettingsStore& settings, const StoredPassword& passwords);

// Checks and writes the methods in the order e-mail, FTP, folder, program (each group written as
// soon as it passed, so a later refusal leaves the earlier ones saved), then "bPromptTransmit".
// An FTP password that cannot be stored encrypted refuses the FTP group with a message box.
std::optional<FieldComplaint> SaveTransmitOptions(SettingsStore& settings,
                                                  StoredPassword& passwords,
                                                  const TransmitOptions& options,
                                                  bool methodsChanged, bool promptChanged);

}  // namespace sonaro
