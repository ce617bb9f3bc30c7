#pragma once

#include <string>
#include <utility>
#include <vector>

#include "net/net_task.h"
#include "threads/event.h"

namespace sonaro::test {

// A NetTask that keeps every report, for checks after the call; `stop` requests the stop from any
// thread.
class RecordingTask final : public NetTask {
  public:
    bool IsStopRequested() const override { return m_stop.isSet(); }
    WaitHandle stopHandle() const override { return m_stop.handle(); }
    void ReportMessage(std::string_view text) override { messages.emplace_back(text); }
    void ReportStatus(std::string_view text, int kind) override {
        statuses.emplace_back(std::string(text), kind);
    }
    void ReportProgress(double fraction) override { progress.push_back(fraction); }

    void stop() { m_stop.set(); }

    std::vector<std::string> messages;
    std::vector<std::pair<std::string, int>> statuses;
    std::vector<double> progress;

  private:
    Event m_stop;
};

}  // namespace sonaro::test
