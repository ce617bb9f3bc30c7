#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "threads/ui_dispatcher.h"

namespace sonaro {

// Receives queued notifications on the user-interface thread.
class QueuedNotifyHandler {
  public:
    virtual ~QueuedNotifyHandler() = default;
    // `data` is empty for value posts; for data posts `value` is the byte count. The bytes are
    // valid only during the call.
    virtual void OnQueuedNotify(int code, std::string_view data, std::uint32_t value) = 0;
};

// Delivers each post exactly once, in posting order, on the user-interface thread. Data posts
// carry a private copy of their bytes, owned by the notifier until delivered.
//
// Created on the user-interface thread; posts are callable from any thread. Destroy (also run by
// the destructor) frees undelivered data without calling the handler; later posts are not made.
class QueuedNotifier {
  public:
    QueuedNotifier(UiDispatcher& dispatcher, QueuedNotifyHandler& handler);
    ~QueuedNotifier();
    QueuedNotifier(const QueuedNotifier&) = delete;
    QueuedNotifier& operator=(const QueuedNotifier&) = delete;

    void PostCode(int code, std::uint32_t value);
    void PostData(int code, std::string_view bytes);
    void Destroy();
    bool exists() const;

  private:
    struct Message {
        int code;
        bool hasData;
        std::uint32_t value;
        std::string data;
    };
    struct Shared {
        std::mutex lock;
        std::deque<Message> queue;
        QueuedNotifyHandler* handler;
    };

    void enqueue(Message message);
    static void deliverOne(const std::shared_ptr<Shared>& shared);

    UiDispatcher& m_dispatcher;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace sonaro
