#include "platform/flock_startup_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace sonaro {

FlockStartupLock::FlockStartupLock(std::string path) : m_path(std::move(path)) {}

FlockStartupLock::~FlockStartupLock() {
    Release();
}

bool FlockStartupLock::Acquire(int budgetMs) {
    Release();
    m_fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        return false;
    }
    // flock has no time-out: poll with a pause that grows to 16 ms, so an uncontended start
    // pays nothing and a waiting one notices the release quickly.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    auto pause = std::chrono::milliseconds(1);
    while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            close(m_fd);
            m_fd = -1;
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    return true;
}

void FlockStartupLock::Release() {
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace sonaro
