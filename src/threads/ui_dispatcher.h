#pragma once

#include <functional>

namespace sonaro {

// Runs work on the user-interface thread. The only bridge from workers to that thread.
class UiDispatcher {
  public:
    using Task = std::function<void()>;

    virtual ~UiDispatcher() = default;

    // Callable from any thread. Tasks run on the user-interface thread one at a time, in posting
    // order; a task posted after the dispatcher shut down is dropped (and destroyed) unrun.
    virtual void post(Task task) = 0;
};

}  // namespace sonaro
