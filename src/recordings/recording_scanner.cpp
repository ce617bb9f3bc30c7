#include "recordings/recording_scanner.h"

#include <utility>

namespace sonaro {

std::optional<RecordingItem> BuildRecordingItem(const RecordingFile& file,
                                                const RecordingFilter& filter,
                                                RecordingLengthCache& lengths) {
    if (!PassesPeriod(filter, file.created)) {
        return std::nullopt;
    }
    const std::int64_t lengthMs = lengths.lengthMs(file);
    if (!PassesDuration(filter, lengthMs)) {
        return std::nullopt;
    }
    RecordingItem item =
        MakeRecordingItem(file.name, file.format, lengthMs, file.created, file.size);
    if (!PassesText(filter, item)) {
        return std::nullopt;
    }
    return item;
}

RecordingScanner::RecordingScanner(UiDispatcher& dispatcher, RecordingLengthCache& lengths)
    : m_lengths(lengths), m_notifier(dispatcher, *this) {}

RecordingScanner::~RecordingScanner() {
    Stop();
}

void RecordingScanner::Scan(const std::string& folder, const RecordingFilter& filter,
                            RecordingScanListener* listener) {
    Cancel();
    m_folder = folder;
    m_filter = NormalizeRecordingFilter(filter);
    m_listener = listener;
    Start(ThreadPriority::BelowNormal);
}

void RecordingScanner::Cancel() {
    Stop();
    // A wake-up still queued finds nothing left of the old scan.
    std::lock_guard<std::mutex> hold(m_lock);
    m_found.clear();
    m_done = 0;
    m_total = 0;
    m_progressChanged = false;
    m_finished = false;
}

void RecordingScanner::Run() {
    const std::vector<RecordingFile> files = ListRecordingFiles(m_folder);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_total = static_cast<int>(files.size());
        m_progressChanged = true;
    }
    m_notifier.notify();
    for (const RecordingFile& file : files) {
        if (IsStopRequested()) {
            return;
        }
        std::optional<RecordingItem> item = BuildRecordingItem(file, m_filter, m_lengths);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (item) {
                m_found.push_back(std::move(*item));
            }
            ++m_done;
            m_progressChanged = true;
        }
        m_notifier.notify();
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_finished = true;
    }
    m_notifier.notify();
}

void RecordingScanner::OnThreadNotify() {
    std::vector<RecordingItem> found;
    int done = 0;
    int total = 0;
    bool progressChanged = false;
    bool finished = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        found.swap(m_found);
        done = m_done;
        total = m_total;
        progressChanged = std::exchange(m_progressChanged, false);
        finished = std::exchange(m_finished, false);
    }
    if (m_listener == nullptr) {
        return;
    }
    if (!found.empty()) {
        m_listener->OnRecordingsFound(std::move(found));
    }
    if (progressChanged) {
        m_listener->OnScanProgress(done, total);
    }
    if (finished) {
        m_listener->OnScanFinished();
    }
}

}  // namespace sonaro
