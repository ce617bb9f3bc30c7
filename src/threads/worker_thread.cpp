#include "threads/worker_thread.h"

#include <system_error>

namespace sonaro {

bool HandleSet::add(WaitHandle handle) {
    if (m_count >= kMaxHandles) {
        return false;
    }
    m_handles[static_cast<std::size_t>(m_count++)] = handle;
    return true;
}

LWorkerThread::LWorkerThread() = default;

LWorkerThread::~LWorkerThread() {
    Stop();
}

void LWorkerThread::Start(ThreadPriority priority) {
    std::lock_guard lock(m_startLock);
    if (m_thread.joinable()) {
        if (m_running.load()) {
            return;
        }
        m_thread.join();
    }
    m_stop.reset();
    m_running.store(true);
    try {
        m_thread = std::thread(&LWorkerThread::threadMain, this, priority);
    } catch (const std::system_error&) {
        // Left running without a thread: the next Start creates it anew.
    }
}

void LWorkerThread::threadMain(ThreadPriority priority) {
    m_threadId.store(CurrentThreadId());
    ApplyThreadPriority(m_threadId.load(), priority);
    Run();
    m_running.store(false);
}

void LWorkerThread::Stop() {
    std::lock_guard lock(m_startLock);
    if (!m_thread.joinable()) {
        return;
    }
    m_stop.set();
    ApplyThreadPriority(m_threadId.load(), ReadThreadPriority(CurrentThreadId()));
    m_thread.join();
    m_threadId.store(0);
}

bool LWorkerThread::IsStopRequested() const {
    return m_stop.isSet();
}

bool LWorkerThread::WaitStop(int ms) {
    return m_stop.wait(ms);
}

WaitResult LWorkerThread::WaitForHandleOrStop(WaitHandle handle, int ms) {
    HandleSet handles;
    handles.add(handle);
    return WaitForHandlesOrStop(handles, ms);
}

WaitResult LWorkerThread::WaitForHandlesOrStop(const HandleSet& handles, int ms) {
    std::array<WaitHandle, HandleSet::kMaxHandles + 1> all{};
    const int count = handles.count();
    for (int i = 0; i < count; ++i) {
        all[static_cast<std::size_t>(i)] = handles.data()[i];
    }
    all[static_cast<std::size_t>(count)] = m_stop.handle();
    const int index = WaitForAnyHandle(all.data(), count + 1, ms);
    if (index < 0) {
        return WaitResult::TimedOut;
    }
    return index == count ? WaitResult::Stopped : WaitResult::Signalled;
}

}  // namespace sonaro
