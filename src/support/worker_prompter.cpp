#include "support/worker_prompter.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "threads/event.h"
#include "threads/ui_dispatcher.h"
#include "threads/worker_thread.h"

namespace sonaro {
namespace {

constexpr int kStopPollMs = 200;

// Shared by the worker and the posted question, so either may finish first.
struct PendingQuestion {
    std::string text;
    std::string title;
    PromptMessage message;
    Event answered;
    std::mutex lock;
    bool abandoned = false;
    PromptAnswer answer = PromptAnswer::Cancel;
};

}  // namespace

PromptAnswer WorkerPrompter::Ask(const PromptMessage& message, const LWorkerThread& worker,
                                 PromptAnswer stopAnswer) {
    if (worker.IsStopRequested()) {
        return stopAnswer;
    }
    auto pending = std::make_shared<PendingQuestion>();
    pending->text = message.text;
    pending->title = message.title;
    pending->message = message;
    pending->message.text = pending->text;
    pending->message.title = pending->title;
    m_dispatcher.post([pending, &prompter = m_prompter] {
        {
            std::lock_guard lock(pending->lock);
            if (pending->abandoned) {
                return;
            }
        }
        const PromptAnswer answer = prompter.ShowMessage(pending->message);
        std::lock_guard lock(pending->lock);
        pending->answer = answer;
        pending->answered.set();
    });
    const WaitHandle handles[2] = {pending->answered.handle(), worker.stopEvent().handle()};
    for (;;) {
        const int ready = WaitForAnyHandle(handles, 2, kStopPollMs);
        std::lock_guard lock(pending->lock);
        if (pending->answered.isSet()) {
            return pending->answer;
        }
        if (ready == 1 || worker.IsStopRequested()) {
            pending->abandoned = true;
            return stopAnswer;
        }
    }
}

}  // namespace sonaro
