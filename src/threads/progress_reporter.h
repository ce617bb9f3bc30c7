#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "threads/queued_notifier.h"
#include "threads/worker_thread.h"

namespace sonaro {

// Listens to a background job; every call but IsCancelRequested runs on the user-interface thread,
// in posting order.
class ProgressListener {
  public:
    virtual ~ProgressListener() = default;
    // Asked from the worker thread.
    virtual bool IsCancelRequested() const = 0;
    virtual void OnMessage(std::string_view text) = 0;
    // `kind` is 0 or 1: two independent status lines.
    virtual void OnStatus(std::string_view text, int kind) = 0;
    // 0.0 to 1.0 in steps of 0.01.
    virtual void OnProgress(double fraction) = 0;
};

// The listener installed whenever no window listens: never cancels, ignores every report.
class NullProgressListener final : public ProgressListener {
  public:
    bool IsCancelRequested() const override { return false; }
    void OnMessage(std::string_view) override {}
    void OnStatus(std::string_view, int) override {}
    void OnProgress(double) override {}
};

// A background job that reports to a listener on the user-interface thread. Status texts keep
// only the latest text of each kind; of one-shot messages, one is pending at a time and a second
// one sent before the first was shown is dropped.
//
// Created and destroyed on the user-interface thread. The report operations run on the worker.
class LProgressReporter : public LWorkerThread, private QueuedNotifyHandler {
  public:
    enum Code : int { kMessage = 0, kStatusA = 1, kStatusB = 2, kProgress = 3 };
    static constexpr std::size_t kTextBytes = 260;

    explicit LProgressReporter(UiDispatcher& dispatcher);
    ~LProgressReporter() override;

    // Null means the null listener. Set on the user-interface thread; the worker may read the
    // listener at the same time, so it is swapped atomically.
    void SetListener(ProgressListener* listener);

    virtual void ReportMessage(std::string_view text);
    virtual void ReportStatus(std::string_view text, int kind);
    virtual void ReportProgress(double fraction);

  protected:
    ProgressListener& listener() const { return *m_listener.load(); }

  private:
    void OnQueuedNotify(int code, std::string_view data, std::uint32_t value) override;
    std::string takeStatus(int kind);

    NullProgressListener m_nullListener;
    std::atomic<ProgressListener*> m_listener{&m_nullListener};
    mutable std::mutex m_textLock;
    std::array<std::string, 2> m_status;
    std::optional<std::string> m_pendingMessage;
    QueuedNotifier m_notifier;
};

}  // namespace sonaro
