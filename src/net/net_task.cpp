#include "net/net_task.h"

#include "threads/progress_reporter.h"

namespace sonaro {

bool ReporterNetTask::IsStopRequested() const {
    return m_reporter.IsStopRequested();
}

WaitHandle ReporterNetTask::stopHandle() const {
    return m_reporter.stopEvent().handle();
}

void ReporterNetTask::ReportMessage(std::string_view text) {
    m_reporter.ReportMessage(text);
}

void ReporterNetTask::ReportStatus(std::string_view text, int kind) {
    m_reporter.ReportStatus(text, kind);
}

void ReporterNetTask::ReportProgress(double fraction) {
    m_reporter.ReportProgress(fraction);
}

}  // namespace sonaro
