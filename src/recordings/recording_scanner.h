#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "recordings/recording_filter.h"
#include "recordings/recording_folder.h"
#include "recordings/recording_item.h"
#include "recordings/recording_length_cache.h"
#include "threads/wake_notifier.h"
#include "threads/worker_thread.h"

namespace sonaro {

// The item of `file` when the (normalised) filter keeps it. The period is checked before the
// file is opened for its length.
std::optional<RecordingItem> BuildRecordingItem(const RecordingFile& file,
                                                const RecordingFilter& filter,
                                                RecordingLengthCache& lengths);

// Told what a scan found. Every call runs on the user-interface thread.
class RecordingScanListener {
  public:
    virtual ~RecordingScanListener() = default;
    // The next items, in the folder's order (not yet sorted).
    virtual void OnRecordingsFound(std::vector<RecordingItem> items) = 0;
    // `done` of `total` files looked at; `total` counts files the filter may still drop.
    virtual void OnScanProgress(int done, int total) = 0;
    // Every file was looked at and every item delivered.
    virtual void OnScanFinished() = 0;
};

// Scans the recordings folder on a worker thread: lists the files, measures each (through the
// length cache) and filters as each item is built. Reports through the wake-up notifier, so items
// arrive in batches of whatever was found since the last delivery.
//
// Created, driven and destroyed on the user-interface thread.
class RecordingScanner final : public LWorkerThread, private ThreadNotifyOwner {
  public:
    RecordingScanner(UiDispatcher& dispatcher, RecordingLengthCache& lengths);
    ~RecordingScanner() override;

    // Cancels a scan in progress, then scans `folder` with the filter (normalised here) and
    // reports to `listener`.
    void Scan(const std::string& folder, const RecordingFilter& filter,
              RecordingScanListener* listener);
    // Stops the scan between two files and waits for the worker; nothing more is reported for
    // it, not even what it found before.
    void Cancel();

  protected:
    void Run() override;

  private:
    void OnThreadNotify() override;

    RecordingLengthCache& m_lengths;
    ThreadWakeNotifier m_notifier;
    RecordingScanListener* m_listener = nullptr;

    // Set before the worker starts, read by it only.
    std::string m_folder;
    RecordingFilter m_filter;

    std::mutex m_lock;  // guards the report fields below
    std::vector<RecordingItem> m_found;
    int m_done = 0;
    int m_total = 0;
    bool m_progressChanged = false;
    bool m_finished = false;
};

}  // namespace sonaro
