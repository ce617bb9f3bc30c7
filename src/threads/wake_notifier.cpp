#include "threads/wake_notifier.h"

namespace sonaro {

ThreadWakeNotifier::ThreadWakeNotifier(UiDispatcher& dispatcher, ThreadNotifyOwner& owner)
    : m_dispatcher(dispatcher), m_shared(std::make_shared<Shared>()) {
    m_shared->owner = &owner;
}

ThreadWakeNotifier::~ThreadWakeNotifier() {
    m_shared->owner = nullptr;
}

void ThreadWakeNotifier::notify() {
    if (m_shared->pending.exchange(true)) {
        return;
    }
    m_dispatcher.post([shared = m_shared] {
        // Cleared before the call, so that a worker update made during the call wakes us again.
        shared->pending.store(false);
        if (shared->owner != nullptr) {
            shared->owner->OnThreadNotify();
        }
    });
}

}  // namespace sonaro
