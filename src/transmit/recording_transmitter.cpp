#include "transmit/recording_transmitter.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "settings/stored_password.h"
#include "support/server_addresses.h"
#include "threads/child_process.h"
#include "transmit/mail_builders.h"
#include "transmit/run_command.h"

namespace sonaro {
namespace {

constexpr int kRunSliceMs = 250;

// Passes every report on and keeps the first message as the reason of a failure.
class ReasonKeepingTask final : public NetTask {
  public:
    ReasonKeepingTask(NetTask& task, std::string& reason) : m_task(task), m_reason(reason) {}

    bool IsStopRequested() const override { return m_task.IsStopRequested(); }
    WaitHandle stopHandle() const override { return m_task.stopHandle(); }
    void ReportMessage(std::string_view text) override {
        if (m_reason.empty()) {
            m_reason = text;
        }
        m_task.ReportMessage(text);
    }
    void ReportStatus(std::string_view text, int kind) override { m_task.ReportStatus(text, kind); }
    void ReportProgress(double fraction) override { m_task.ReportProgress(fraction); }

  private:
    NetTask& m_task;
    std::string& m_reason;
};

}  // namespace

std::string RecordingName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

RecordingTransmitter::RecordingTransmitter(RecordingTransmitterParts parts)
    : m_parts(std::move(parts)) {
    if (!m_parts.findMailAccount) {
        m_parts.findMailAccount = [] { return std::optional<MailAccount>(); };
    }
    if (!m_parts.mail.smtp.log) {
        m_parts.mail.smtp.log = m_parts.log;
    }
    if (!m_parts.mail.smtpPassword && m_parts.passwords != nullptr) {
        m_parts.mail.smtpPassword = [passwords = m_parts.passwords] {
            return ReadSmtpPassword(*passwords);
        };
    }
}

SendResult RecordingTransmitter::SendRecordingByEmail(NetTask& task, const std::string& path,
                                                      std::string& reason) {
    SettingsStore& settings = m_parts.settings;
    const std::string name = RecordingName(path);
    const MailMessage message =
        BuildRecordingMessage(settings, m_parts.findMailAccount, settings.Read(setting::kEmailTo),
                              RecordingMailSubject(name),
                              RecordingMailBody(name, ServerAddresses::Read(settings).web), path);
    ReasonKeepingTask keeping(task, reason);
    const SendResult result = MailSender(settings, m_parts.mail).SendMailMessage(message, keeping);
    if (result == SendResult::Failed && reason.empty()) {
        reason = "the mail was not accepted";
    }
    return result;
}

SendResult RecordingTransmitter::UploadRecordingByFtp(NetTask& task, const std::string& path,
                                                      std::string& reason) {
    ReasonKeepingTask keeping(task, reason);
    const SendResult result = sonaro::UploadRecordingByFtp(
        keeping, m_parts.settings, path, m_parts.ftp, m_parts.passwords, m_parts.log);
    if (result == SendResult::Failed && reason.empty()) {
        reason = "the upload to the FTP server failed";
    }
    return result;
}

SendResult RecordingTransmitter::CopyRecordingToFolder(const std::string& path,
                                                       std::string& reason) {
    namespace fs = std::filesystem;
    const std::string folder = m_parts.settings.Read(setting::kSendFolderDir);
    if (folder.empty()) {
        reason = "no folder is set";
        return SendResult::Failed;
    }
    const std::string target = folder + (folder.back() == '/' ? "" : "/") + RecordingName(path);
    std::error_code error;
    if (fs::equivalent(path, target, error)) {
        return SendResult::Ok;
    }
    // The copy appears under its name only once complete, replacing an older file of that name.
    const std::string partial = target + ".part";
    if (!fs::copy_file(path, partial, fs::copy_options::overwrite_existing, error) ||
        (fs::rename(partial, target, error), error)) {
        reason = target + ": " + error.message();
        fs::remove(partial, error);
        return SendResult::Failed;
    }
    return SendResult::Ok;
}

SendResult RecordingTransmitter::RunProgramOnRecording(NetTask& task, const std::string& path,
                                                       std::string& reason) {
    const std::string pattern = m_parts.settings.Read(setting::kSendRunExe);
    auto arguments = BuildRunArguments(pattern, path, reason);
    if (!arguments) {
        return SendResult::Failed;
    }
    SpawnOptions options;
    options.argv = std::move(*arguments);
    ChildProcess child;
    if (!child.start(options)) {
        reason = options.argv[0] + ": " + child.errorText();
        return SendResult::Failed;
    }
    for (int waited = 0; waited < m_parts.runBudgetMs; waited += kRunSliceMs) {
        if (task.IsStopRequested()) {
            child.detach();
            return SendResult::Stopped;
        }
        const int slice = std::min(kRunSliceMs, m_parts.runBudgetMs - waited);
        if (const auto code = child.waitOrWake(slice, task.stopHandle())) {
            if (*code == 0) {
                return SendResult::Ok;
            }
            reason = options.argv[0] + " ended with exit code " + std::to_string(*code);
            return SendResult::Failed;
        }
    }
    if (task.IsStopRequested()) {
        child.detach();
        return SendResult::Stopped;
    }
    child.detach();
    const int budget = m_parts.runBudgetMs;
    reason =
        options.argv[0] + " did not end within " +
        (budget >= 1000 ? std::to_string(budget / 1000) + " s" : std::to_string(budget) + " ms");
    return SendResult::Failed;
}

}  // namespace sonaro
