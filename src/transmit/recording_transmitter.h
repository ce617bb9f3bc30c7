#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/ftp_client.h"
#include "net/mail_sender.h"
#include "transmit/email_settings.h"
#include "transmit/transmit_methods.h"

namespace sonaro {

class SettingsStore;
class StoredPassword;

struct RecordingTransmitterParts {
    SettingsStore& settings;
    // The sealed SMTP and FTP passwords with their plain fallback; null: plain values only.
    const StoredPassword* passwords = nullptr;
    // The user's mail account for the one-time e-mail defaults; empty: none is looked for.
    MailAccountFinder findMailAccount;
    // The SMTP password is read from `passwords` when no function is given.
    MailSenderOptions mail;
    FtpTimeouts ftp;
    // How long the run-program method waits for the program to end.
    int runBudgetMs = 3600000;
    // Details of the secure connections for the program log; empty: none kept.
    std::function<void(std::string_view)> log;
};

// The four methods with the settings of the Transmit page (read at each call).
class RecordingTransmitter final : public TransmitMethods {
  public:
    explicit RecordingTransmitter(RecordingTransmitterParts parts);

    SendResult SendRecordingByEmail(NetTask& task, const std::string& path,
                                    std::string& reason) override;
    SendResult UploadRecordingByFtp(NetTask& task, const std::string& path,
                                    std::string& reason) override;
    SendResult CopyRecordingToFolder(const std::string& path, std::string& reason) override;
    // "SendRunExe" split into words with each "%s" replaced by the path, started without a
    // shell; Ok when the program ends with exit code 0 within the budget. A program still
    // running at a stop or at the end of the budget is left to run on.
    SendResult RunProgramOnRecording(NetTask& task, const std::string& path,
                                     std::string& reason) override;

  private:
    RecordingTransmitterParts m_parts;
};

}  // namespace sonaro
