#pragma once

namespace sonaro {

// Thread priorities as the program names them (the Windows scale).
enum class ThreadPriority : int {
    Idle = -15,
    Lowest = -2,
    BelowNormal = -1,
    Normal = 0,
    AboveNormal = 1,
    Highest = 2,
    TimeCritical = 15,
};

// Linux thread id of the calling thread.
int CurrentThreadId();

// Applies `priority` to thread `tid` as far as the system permits; never fails. Raising needs
// CAP_SYS_NICE or a matching RLIMIT_NICE / RLIMIT_RTPRIO, otherwise the nearest permitted value
// is used.
void ApplyThreadPriority(int tid, ThreadPriority priority);

// The priority that thread `tid` runs at, mapped back to the program's scale.
ThreadPriority ReadThreadPriority(int tid);

}  // namespace sonaro
