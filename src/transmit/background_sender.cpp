#include "transmit/background_sender.h"

#include <algorithm>

#include "net/net_task.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/program_log.h"
#include "support/worker_prompter.h"
#include "transmit/transmit_methods.h"

namespace sonaro {
namespace {

enum class Method { Email, Ftp, Folder, Program };

struct MethodTexts {
    Method method;
    const BoolSetting& enabled;
    const TextSetting& target;
    std::string_view question;
    std::string_view caption;
    std::string_view failure;
};

const MethodTexts kMethods[] = {
    {Method::Email, setting::kSendEmail, setting::kEmailTo,
     "You have the send via email transmit option enabled. Would you like to send this "
     "recording to \"%s\"?",
     "Send via email?",
     "Cannot send the file \"%s\" to email. Please check the email settings in "
     "Options->Transmit again."},
    {Method::Ftp, setting::kSendFtp, setting::kFtpServer,
     "You have the send via FTP transmit option enabled. Would you like to upload this "
     "recording to \"%s\"?",
     "Upload via FTP?",
     "Cannot upload the file \"%s\" to the FTP Server. Please check the FTP Server details in "
     "Options->Transmit again."},
    {Method::Folder, setting::kSendFolder, setting::kSendFolderDir,
     "You have the send to folder transmit option enabled. Would you like this recording sent "
     "to \"%s\"?",
     "Send to folder?",
     "Cannot copy the file \"%s\" to the backup folder. Please check the backup folder path in "
     "Options->Transmit again."},
    {Method::Program, setting::kSendRun, setting::kSendRunExe,
     "You have the run executable transmit option enabled. Would you like to run \"%s\" with "
     "this recording as a command-line argument?",
     "Run program?",
     "Cannot run the exe program with the file \"%s\". Please check the External Exe Path in "
     "Options->Transmit again."},
};

// `pattern` with its one "%s" replaced by `value`.
std::string fill(std::string_view pattern, std::string_view value) {
    const std::size_t at = pattern.find("%s");
    std::string text(pattern.substr(0, at));
    text += value;
    text += pattern.substr(at + 2);
    return text;
}

}  // namespace

BackgroundSender::BackgroundSender(BackgroundSenderParts parts)
    : LProgressReporter(parts.dispatcher),
      m_parts(std::move(parts)),
      m_queue(m_parts.queuePath, m_parts.log) {}

BackgroundSender::~BackgroundSender() {
    Shutdown();
}

void BackgroundSender::Shutdown() {
    SetListener(nullptr);
    Stop();
}

SendQueueFile BackgroundSender::queue() const {
    std::lock_guard lock(m_taskLock);
    return m_queue;
}

std::string BackgroundSender::queuePath() const {
    return queue().path();
}

void BackgroundSender::logLine(const std::string& prefix, const std::string& text) const {
    if (m_parts.log != nullptr) {
        m_parts.log->Log(prefix, text);
    }
}

void BackgroundSender::SetOutcomeHook(TransmitOutcomeHook* hook) {
    m_hook.store(hook != nullptr ? hook : &m_inertHook);
}

void BackgroundSender::EnqueueRecording(const std::string& path) {
    if (!queue().Append(path)) {
        return;
    }
    m_queuedCount.store(m_queuedCount.load() + 1.0);
    startSender();
}

void BackgroundSender::ResumeQueueAtStartup(const std::string& queuePath) {
    SendQueueFile resumed = queue();
    if (!queuePath.empty()) {
        std::lock_guard lock(m_taskLock);
        m_queue = SendQueueFile(queuePath, m_parts.log);
        resumed = m_queue;
    }
    m_discardOnStop.store(true);
    if (resumed.Resume(m_parts.settings.Read(setting::kFailCount)) ==
        SendQueueFile::ResumeOutcome::Resumed) {
        m_queuedCount.store(m_queuedCount.load() + static_cast<double>(resumed.Records().size()));
        startSender();
    }
}

void BackgroundSender::startSender() {
    {
        std::lock_guard lock(m_taskLock);
        if (m_sending) {
            return;
        }
        m_sending = true;
    }
    // A thread that found the queue empty has left its loop; let it end before starting anew.
    if (IsRunning()) {
        Stop();
    }
    Start(ThreadPriority::Lowest);
}

bool BackgroundSender::IsStopRequested() const {
    return listener().IsCancelRequested() || LWorkerThread::IsStopRequested();
}

void BackgroundSender::ReportProgress(double fraction) {
    double value = m_processedCount.load() + fraction;
    const double queued = m_queuedCount.load();
    if (queued > 1.0) {
        value /= queued;
    }
    LProgressReporter::ReportProgress(std::clamp(value, 0.0, 1.0));
}

void BackgroundSender::Run() {
    m_processedCount.store(0.0);
    bool leftEmpty = false;
    while (!stopEvent().isSet()) {
        SendQueueFile file = queue();
        std::optional<std::string> first;
        {
            std::lock_guard lock(m_taskLock);
            first = file.ReadFirst();
            if (!first) {
                m_queuedCount.store(0.0);
                m_processedCount.store(0.0);
                m_sending = false;
                leftEmpty = true;
                break;
            }
        }
        const SendResult result = TransmitRecording(*first);
        if (result == SendResult::Stopped) {
            if (m_discardOnStop.load()) {
                file.Discard("the send was stopped");
                m_queuedCount.store(0.0);
            }
            break;
        }
        m_processedCount.store(m_processedCount.load() + 1.0);
        if (!file.RemoveFirst()) {
            logLine("The send queue could not be rewritten: ", file.path());
            break;
        }
    }
    if (!leftEmpty) {
        std::lock_guard lock(m_taskLock);
        m_sending = false;
    }
    ReportProgress(0.0);
}

SendResult BackgroundSender::TransmitRecording(const std::string& path) {
    const std::string name = RecordingName(path);
    ReporterNetTask task(*this);
    const bool prompt = m_parts.settings.Read(setting::kPromptTransmit);
    SendResult result = SendResult::Ok;
    bool stopped = false;
    for (const MethodTexts& method : kMethods) {
        if (method.method != Method::Email && IsStopRequested()) {
            stopped = true;
            break;
        }
        if (!m_parts.settings.Read(method.enabled)) {
            continue;
        }
        if (prompt) {
            const std::string question =
                fill(method.question, m_parts.settings.Read(method.target));
            const PromptAnswer answer =
                m_parts.questions.Ask({question, method.caption, PromptButtons::OkCancel,
                                       PromptIcon::Question, PromptAnswer::Ok},
                                      *this);
            if (answer != PromptAnswer::Ok) {
                if (IsStopRequested()) {
                    stopped = true;
                    break;
                }
                continue;
            }
        }
        std::string reason;
        switch (method.method) {
            case Method::Email:
                result = m_parts.methods.SendRecordingByEmail(task, path, reason);
                break;
            case Method::Ftp:
                result = m_parts.methods.UploadRecordingByFtp(task, path, reason);
                break;
            case Method::Folder:
                result = m_parts.methods.CopyRecordingToFolder(path, reason);
                break;
            case Method::Program:
                result = m_parts.methods.RunProgramOnRecording(task, path, reason);
                break;
        }
        if (result == SendResult::Stopped) {
            stopped = true;
            break;
        }
        if (result == SendResult::Failed) {
            const std::string failure = fill(method.failure, name);
            ReportMessage(failure);
            logLine("Transmit failed for " + path + ": ",
                    failure + (reason.empty() ? "" : " (" + reason + ")"));
        }
    }
    if (stopped) {
        result = SendResult::Stopped;
    } else {
        ReportProgress(1.0);
    }
    m_hook.load()->OnTransmitOutcome(path, result);
    return result;
}

}  // namespace sonaro
