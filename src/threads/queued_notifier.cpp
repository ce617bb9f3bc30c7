#include "threads/queued_notifier.h"

namespace sonaro {

QueuedNotifier::QueuedNotifier(UiDispatcher& dispatcher, QueuedNotifyHandler& handler)
    : m_dispatcher(dispatcher), m_shared(std::make_shared<Shared>()) {
    m_shared->handler = &handler;
}

QueuedNotifier::~QueuedNotifier() {
    Destroy();
}

void QueuedNotifier::PostCode(int code, std::uint32_t value) {
    enqueue({code, false, value, {}});
}

void QueuedNotifier::PostData(int code, std::string_view bytes) {
    enqueue({code, true, static_cast<std::uint32_t>(bytes.size()), std::string(bytes)});
}

void QueuedNotifier::Destroy() {
    std::deque<Message> undelivered;
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->handler = nullptr;
        undelivered.swap(m_shared->queue);
    }
}

bool QueuedNotifier::exists() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->handler != nullptr;
}

void QueuedNotifier::enqueue(Message message) {
    {
        std::lock_guard lock(m_shared->lock);
        if (m_shared->handler == nullptr) {
            return;
        }
        m_shared->queue.push_back(std::move(message));
    }
    // One task per message: each task delivers the oldest message, which keeps posting order
    // even when another notifier's tasks are interleaved.
    m_dispatcher.post([shared = m_shared] { deliverOne(shared); });
}

void QueuedNotifier::deliverOne(const std::shared_ptr<Shared>& shared) {
    Message message;
    QueuedNotifyHandler* handler = nullptr;
    {
        std::lock_guard lock(shared->lock);
        if (shared->handler == nullptr || shared->queue.empty()) {
            return;
        }
        message = std::move(shared->queue.front());
        shared->queue.pop_front();
        handler = shared->handler;
    }
    handler->OnQueuedNotify(message.code,
                            message.hasData ? std::string_view(message.data) : std::string_view(),
                            message.value);
}

}  // namespace sonaro
