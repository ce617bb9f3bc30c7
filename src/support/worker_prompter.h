#pragma once

#include <string>

#include "support/prompter.h"

namespace sonaro {

class LWorkerThread;
class UiDispatcher;

// Asks a question from a worker thread. The `Prompter` runs on the user-interface thread only,
// so the question is posted there through the dispatcher and the worker waits for the answer
// together with its stop. A stop requested before the answer came gives `stopAnswer` at once: the
// window that stops the worker and waits for its thread (teardown) never waits on a box the
// worker asked for; a question not yet shown is then not shown at all.
class WorkerPrompter {
  public:
    WorkerPrompter(Prompter& prompter, UiDispatcher& dispatcher)
        : m_prompter(prompter), m_dispatcher(dispatcher) {}

    // Called on `worker`'s thread; `worker` decides whether a stop was requested (its stop event
    // wakes the wait at once, any other reason is looked at every 200 ms).
    PromptAnswer Ask(const PromptMessage& message, const LWorkerThread& worker,
                     PromptAnswer stopAnswer = PromptAnswer::Cancel);

  private:
    Prompter& m_prompter;
    UiDispatcher& m_dispatcher;
};

}  // namespace sonaro
