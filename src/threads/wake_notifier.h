#pragma once

#include <atomic>
#include <memory>

#include "threads/ui_dispatcher.h"

namespace sonaro {

// The owner side of a wake-up notification: called on the user-interface thread.
class ThreadNotifyOwner {
  public:
    virtual ~ThreadNotifyOwner() = default;
    virtual void OnThreadNotify() = 0;
};

// Wakes the user-interface thread for a worker that publishes its state in flags and fields of
// the owner. Posts coalesce: while a wake-up is pending, further notify() calls add nothing, and
// the owner reads the latest values when it runs.
//
// Created and destroyed on the user-interface thread; notify() is callable from any thread. After
// destruction no OnThreadNotify is called, even for wake-ups already posted.
class ThreadWakeNotifier {
  public:
    ThreadWakeNotifier(UiDispatcher& dispatcher, ThreadNotifyOwner& owner);
    ~ThreadWakeNotifier();
    ThreadWakeNotifier(const ThreadWakeNotifier&) = delete;
    ThreadWakeNotifier& operator=(const ThreadWakeNotifier&) = delete;

    void notify();

  private:
    struct Shared {
        ThreadNotifyOwner* owner;
        std::atomic<bool> pending{false};
    };

    UiDispatcher& m_dispatcher;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace sonaro
