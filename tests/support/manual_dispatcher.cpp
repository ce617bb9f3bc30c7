#include "support/manual_dispatcher.h"

#include <chrono>

namespace sonaro::test {

void ManualDispatcher::post(Task task) {
    {
        std::lock_guard lock(m_lock);
        m_tasks.push_back(std::move(task));
    }
    m_posted.notify_all();
}

int ManualDispatcher::pump() {
    int ran = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(m_lock);
            if (m_tasks.empty()) {
                return ran;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        ++ran;
    }
}

int ManualDispatcher::pumpFor(int ms) {
    {
        std::unique_lock lock(m_lock);
        m_posted.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_tasks.empty(); });
    }
    return pump();
}

bool ManualDispatcher::pumpUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pumpFor(10);
    }
    return true;
}

std::size_t ManualDispatcher::pending() const {
    std::lock_guard lock(m_lock);
    return m_tasks.size();
}

}  // namespace sonaro::test
