#pragma once

#include <string>

#include "threads/progress_reporter.h"

namespace sonaro {

// A part of a job's work: passes the job's stop on and maps its own progress (0 to 1) into the
// share [start, start + size] of the job's.
class JobShare {
  public:
    explicit JobShare(LProgressReporter& job, double start = 0.0, double size = 1.0)
        : m_job(job), m_start(start), m_size(size) {}

    bool IsStopRequested() const { return m_job.IsStopRequested(); }
    void ReportProgress(double fraction) const;

  private:
    LProgressReporter& m_job;
    double m_start;
    double m_size;
};

enum class CopyResult { Copied, Cancelled, Failed };

struct CopyOutcome {
    CopyResult result = CopyResult::Failed;
    std::string error;  // why, for Failed
};

// Copies `source` to `target` on a job's worker, reporting progress and stopping when the job is
// stopped. The bytes go to a hidden temporary file beside the target that is renamed into place
// only when complete, so a cancelled or failed copy leaves nothing at the target. Without
// `replace` an existing target is never replaced (Failed).
CopyOutcome CopyFileWithProgress(const std::string& source, const std::string& target, bool replace,
                                 const JobShare& job);

}  // namespace sonaro
