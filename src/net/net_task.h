#pragma once

#include <string_view>

#include "threads/event.h"

namespace sonaro {

class LProgressReporter;

// What a network operation needs from the background job that runs it: the stop request (also as
// a pollable handle, so a blocked wait wakes at once) and the three kinds of report. Called on the
// job's own thread only.
class NetTask {
  public:
    virtual ~NetTask() = default;

    virtual bool IsStopRequested() const = 0;
    // Readable once a stop is requested; -1 when the job has no such handle (waits then poll
    // IsStopRequested between slices of at most 200 ms).
    virtual WaitHandle stopHandle() const = 0;
    virtual void ReportMessage(std::string_view text) = 0;
    // `kind` 0 is the headline, 1 the current step.
    virtual void ReportStatus(std::string_view text, int kind) = 0;
    virtual void ReportProgress(double fraction) = 0;
};

// A NetTask over a progress-reporting worker: its stop event and its reports.
class ReporterNetTask final : public NetTask {
  public:
    explicit ReporterNetTask(LProgressReporter& reporter) : m_reporter(reporter) {}

    bool IsStopRequested() const override;
    WaitHandle stopHandle() const override;
    void ReportMessage(std::string_view text) override;
    void ReportStatus(std::string_view text, int kind) override;
    void ReportProgress(double fraction) override;

  private:
    LProgressReporter& m_reporter;
};

}  // namespace sonaro
