#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/net_task.h"
#include "threads/event.h"

namespace sonaro::test {

// A NetTask that keeps every report, for checks after the call; `stop` requests the stop from any
// thread.
class RecordingTask final : public NetTask {
  public:
    RecordingTask() = default;
    ~RecordingTask() override {
        if (m_stopper.joinable()) {
            m_stopper.join();
        }
    }
    RecordingTask(const RecordingTask&) = delete;
    RecordingTask& operator=(const RecordingTask&) = delete;

    bool IsStopRequested() const override { return m_stop.isSet(); }
    WaitHandle stopHandle() const override { return m_stop.handle(); }
    void ReportMessage(std::string_view text) override { messages.emplace_back(text); }
    void ReportStatus(std::string_view text, int kind) override {
        statuses.emplace_back(std::string(text), kind);
    }
    void ReportProgress(double fraction) override { progress.push_back(fraction); }

    void stop() { m_stop.set(); }
    // Requests the stop `ms` from now, from another thread.
    void stopAfter(int ms) {
        if (m_stopper.joinable()) {
            m_stopper.join();
        }
        m_stopper = std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            stop();
        });
    }

    std::vector<std::string> messages;
    std::vector<std::pair<std::string, int>> statuses;
    std::vector<double> progress;

  private:
    Event m_stop;
    std::thread m_stopper;
};

}  // namespace sonaro::test
