#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "threads/event.h"
#include "threads/thread_priority.h"

namespace sonaro {

// Handles a worker waits on besides its stop event: at most 63.
class HandleSet {
  public:
    static constexpr int kMaxHandles = 63;

    // False when the set is full.
    bool add(WaitHandle handle);
    int count() const { return m_count; }
    const WaitHandle* data() const { return m_handles.data(); }

  private:
    std::array<WaitHandle, kMaxHandles + 1> m_handles{};
    int m_count = 0;
};

// Base of every worker object: one thread running `Run`, a manual-reset stop event that every
// wait of the body also waits on, and Start/Stop called by the owning (user-interface) thread.
//
// A derived class must call Stop() in its own destructor: once the derived part is destroyed the
// thread could no longer run its `Run`.
class LWorkerThread {
  public:
    LWorkerThread();
    virtual ~LWorkerThread();
    LWorkerThread(const LWorkerThread&) = delete;
    LWorkerThread& operator=(const LWorkerThread&) = delete;

    // Starts the body at `priority` unless it is running already; a finished body is joined and
    // started anew. Serialised; callable from any thread. A thread that cannot be created is not
    // reported: IsRunning stays true until the next Start.
    void Start(ThreadPriority priority = ThreadPriority::Normal);
    // Signals stop, lends the worker the caller's priority and waits for the body to return.
    // Returns at once when no thread exists. Never call it from the worker itself.
    void Stop();
    bool IsRunning() const { return m_running.load(); }

    // True once Stop was requested. Bodies poll it between units of work.
    virtual bool IsStopRequested() const;
    // True when stop was requested within `ms` (negative: no limit), false on time-out.
    virtual bool WaitStop(int ms);
    virtual WaitResult WaitForHandleOrStop(WaitHandle handle, int ms);
    // Signalled when any handle of `handles` is readable, Stopped when the stop event is, with
    // the earlier handle winning when several are ready.
    virtual WaitResult WaitForHandlesOrStop(const HandleSet& handles, int ms);

    const Event& stopEvent() const { return m_stop; }

  protected:
    // The thread body. Runs on the worker thread.
    virtual void Run() = 0;

  private:
    void threadMain(ThreadPriority priority);

    std::mutex m_startLock;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_threadId{0};
    Event m_stop;
};

}  // namespace sonaro
