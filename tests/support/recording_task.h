#pragma once

#include <string>
#include <utility>
#include <vector>

#include "net/net_task.h"
#include "threads/event.h"

namespace sonaro::test {

// A NetTask that keeps every report, for checks after the call. `stopAfterChecks` requests the
// stop once IsStopRequested has been asked that many times (a stop in the middle of a transfer
// without a second thread); `stop` requests it at once from any thread.
class RecordingTask final : public NetTask {
  public:
    bool IsStopRequested() const override;
    WaitHandle stopHandle() const override { return m_stop.handle(); }
    void ReportMessage(std::string_view text) override { messages.emplace_back(text); }
    void ReportStatus(std::string_view text, int kind) override {
        statuses.emplace_back(std::string(text), kind);
    }
    void ReportProgress(double fraction) override { progress.push_back(fraction); }

    void stop() { m_stop.set(); }
    void stopAfterChecks(int checks) { m_checksLeft = checks; }

    std::vector<std::string> messages;
    std::vector<std::pair<std::string, int>> statuses;
    std::vector<double> progress;

  private:
    mutable Event m_stop;
    mutable int m_checksLeft = -1;
};

}  // namespace sonaro::test
