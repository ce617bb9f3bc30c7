#include "threads/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace sonaro {
namespace {

constexpr int kRealTimePriority = 10;

int niceFor(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Idle:
            return 19;
        case ThreadPriority::Lowest:
            return 10;
        case ThreadPriority::BelowNormal:
            return 5;
        case ThreadPriority::Normal:
            return 0;
        case ThreadPriority::AboveNormal:
            return -5;
        case ThreadPriority::Highest:
            return -10;
        case ThreadPriority::TimeCritical:
            return -15;
    }
    return 0;
}

bool setRealTime(int tid, bool on) {
    sched_param param{};
    param.sched_priority = on ? kRealTimePriority : 0;
    return sched_setscheduler(tid, on ? SCHED_RR : SCHED_OTHER, &param) == 0;
}

// Moves toward `wanted` one step at a time until the system refuses; lowering the priority
// (a higher nice value) is always allowed.
void setNiceAsFarAsAllowed(int tid, int wanted) {
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), wanted) == 0) {
        return;
    }
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0) {
        return;
    }
    for (int nice = current - 1; nice >= wanted; --nice) {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) {
            return;
        }
    }
}

}  // namespace

int CurrentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

void ApplyThreadPriority(int tid, ThreadPriority priority) {
    if (tid <= 0) {
        return;
    }
    if (priority == ThreadPriority::TimeCritical && setRealTime(tid, true)) {
        return;
    }
    if (sched_getscheduler(tid) == SCHED_RR) {
        setRealTime(tid, false);
    }
    setNiceAsFarAsAllowed(tid, niceFor(priority));
}

ThreadPriority ReadThreadPriority(int tid) {
    if (sched_getscheduler(tid) == SCHED_RR) {
        return ThreadPriority::TimeCritical;
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0) {
        return ThreadPriority::Normal;
    }
    if (nice >= 15)
        return ThreadPriority::Idle;
    if (nice >= 8)
        return ThreadPriority::Lowest;
    if (nice >= 3)
        return ThreadPriority::BelowNormal;
    if (nice > -3)
        return ThreadPriority::Normal;
    if (nice > -8)
        return ThreadPriority::AboveNormal;
    if (nice > -13)
        return ThreadPriority::Highest;
    return ThreadPriority::TimeCritical;
}

}  // namespace sonaro
