#include "threads/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace sonaro {

Event::Event(bool initiallySet) : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Without its descriptor no wait could ever work; this is the only way to fail here.
    if (m_fd < 0) {
        throw std::runtime_error("eventfd failed");
    }
    if (initiallySet) {
        set();
    }
}

Event::~Event() {
    close(m_fd);
}

void Event::set() {
    if (isSet()) {
        return;
    }
    const std::uint64_t one = 1;
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::reset() {
    std::uint64_t count = 0;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool Event::isSet() const {
    return wait(0);
}

bool Event::wait(int ms) const {
    return WaitForAnyHandle(&m_fd, 1, ms) == 0;
}

int WaitForAnyHandle(const WaitHandle* handles, int count, int ms) {
    // Capture waits for every block: the usual handful of handles must not touch the heap.
    constexpr int kOnStack = 64;
    std::array<pollfd, kOnStack> local{};
    std::vector<pollfd> large;
    pollfd* fds = local.data();
    if (count > kOnStack) {
        large.resize(static_cast<std::size_t>(count));
        fds = large.data();
    }
    for (int i = 0; i < count; ++i) {
        fds[i] = {handles[i], POLLIN, 0};
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        int timeout = -1;
        if (ms >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        const int ready = poll(fds, static_cast<nfds_t>(count), timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return -1;
        }
        for (int i = 0; i < count; ++i) {
            if (fds[i].revents != 0) {
                return i;
            }
        }
    }
}

}  // namespace sonaro
