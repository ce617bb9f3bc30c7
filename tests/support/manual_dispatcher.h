#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "threads/ui_dispatcher.h"

namespace sonaro::test {

// A user-interface thread for tests: posts queue up until the test pumps them on its own thread.
class ManualDispatcher final : public UiDispatcher {
  public:
    void post(Task task) override;

    // Runs every task queued so far (and those they post); gives how many ran.
    int pump();
    // Waits up to `ms` for at least one task, then pumps; gives how many ran.
    int pumpFor(int ms);
    // Pumps until `done` holds; false when it still does not after `ms`.
    bool pumpUntil(const std::function<bool()>& done, int ms = 10000);
    std::size_t pending() const;

  private:
    mutable std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<Task> m_tasks;
};

}  // namespace sonaro::test
