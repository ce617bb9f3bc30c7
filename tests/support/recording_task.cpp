#include "support/recording_task.h"

namespace sonaro::test {

bool RecordingTask::IsStopRequested() const {
    if (m_checksLeft > 0 && --m_checksLeft == 0) {
        m_stop.set();
    }
    return m_stop.isSet();
}

}  // namespace sonaro::test
