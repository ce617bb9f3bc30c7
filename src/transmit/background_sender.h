#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "support/send_result.h"
#include "threads/progress_reporter.h"
#include "transmit/send_queue_file.h"

namespace sonaro {

class ProgramLog;
class SettingsStore;
class TransmitMethods;
class WorkerPrompter;

// Told the outcome of each recording's pass, on the sender's thread. The default does nothing.
class TransmitOutcomeHook {
  public:
    virtual ~TransmitOutcomeHook() = default;
    virtual void OnTransmitOutcome(const std::string& path, SendResult result) {
        (void)path;
        (void)result;
    }
};

struct BackgroundSenderParts {
    UiDispatcher& dispatcher;
    SettingsStore& settings;
    TransmitMethods& methods;
    // Asks the confirmation questions from the sender's thread.
    WorkerPrompter& questions;
    // Names every recording that is not sent; may be null.
    ProgramLog* log = nullptr;
    // "bgsend.lst" in the per-user data folder; the start-up resume may name it again.
    std::string queuePath;
};

// The send queue, which `main` installs as the recording session's transmit hand-off (record/
// and transmit/ sit side by side, so a small adapter there forwards the two calls). Each
// finished recording is
// appended to the queue file, and one low-priority thread sends the queue front to back with
// the enabled methods (e-mail, FTP, folder, program), removing each record after its pass. It
// reports through its listener (the main window's status bar), whose cancel stops it.
//
// One per process. EnqueueRecording, ResumeQueueAtStartup, SetListener, SetOutcomeHook and
// Shutdown run on the user-interface thread.
class BackgroundSender final : public LProgressReporter {
  public:
    // The queue file's name in the per-user data folder.
    static constexpr std::string_view kQueueFileName = "bgsend.lst";

    explicit BackgroundSender(BackgroundSenderParts parts);
    ~BackgroundSender() override;

    void EnqueueRecording(const std::string& path);
    void ResumeQueueAtStartup(const std::string& queuePath);
    // Null puts back the inert hook.
    void SetOutcomeHook(TransmitOutcomeHook* hook);
    // The window's teardown: puts back the null listener, then stops the thread and waits for it
    // (a recording being sent is stopped; after the start-up resume the rest of the queue is
    // dropped, each recording named in the log).
    void Shutdown();

    // Yes when the listener cancels or the stop event is set.
    bool IsStopRequested() const override;
    // `fraction` of the current recording, as a share of the recordings queued in this run.
    void ReportProgress(double fraction) override;

    // One pass of every enabled method over `path`, on the sender's thread.
    SendResult TransmitRecording(const std::string& path);

    std::string queuePath() const;

  protected:
    void Run() override;

  private:
    void startSender();
    SendQueueFile queue() const;
    void logLine(const std::string& prefix, const std::string& text) const;

    BackgroundSenderParts m_parts;
    TransmitOutcomeHook m_inertHook;
    std::atomic<TransmitOutcomeHook*> m_hook{&m_inertHook};
    // Guards the queue's path, the read that finds the queue empty and `m_sending`, so an append
    // either reaches the running thread's next read or finds it gone and starts a new one.
    mutable std::mutex m_taskLock;
    SendQueueFile m_queue;
    bool m_sending = false;
    std::atomic<bool> m_discardOnStop{false};
    std::atomic<double> m_queuedCount{0.0};
    std::atomic<double> m_processedCount{0.0};
};

}  // namespace sonaro
