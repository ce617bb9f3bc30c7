#include "net/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace sonaro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopPollMs = 200;
constexpr int kConnectAnyBudgetMs = 5000;
constexpr int kReceiveUntilClosedMs = 5000;
constexpr std::size_t kPeekBytes = 512;

enum class Ready { Yes, TimedOut, Stopped };

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// Waits for `events` on `fd` (an error or hang-up counts as ready) within the budget.
Ready waitFor(NetTask& task, int fd, short events, int budgetMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    pollfd fds[2] = {{fd, events, 0}, {task.stopHandle(), POLLIN, 0}};
    const nfds_t count = task.stopHandle() >= 0 ? 2 : 1;
    for (;;) {
        if (task.IsStopRequested()) {
            return Ready::Stopped;
        }
        const int slice = std::min(kStopPollMs, remainingMs(deadline));
        const int ready = poll(fds, count, slice);
        if (ready < 0 && errno != EINTR) {
            return Ready::Yes;
        }
        if (ready > 0 && fds[0].revents != 0) {
            return task.IsStopRequested() ? Ready::Stopped : Ready::Yes;
        }
        if (remainingMs(deadline) <= 0) {
            return task.IsStopRequested() ? Ready::Stopped : Ready::TimedOut;
        }
    }
}

SendResult toResult(Ready ready) {
    switch (ready) {
        case Ready::Yes:
            return SendResult::Ok;
        case Ready::Stopped:
            return SendResult::Stopped;
        case Ready::TimedOut:
            break;
    }
    return SendResult::Failed;
}

bool openNonBlocking(Socket& socket) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        return false;
    }
    socket.adopt(fd);
    return true;
}

bool connectSucceeded(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

SendResult connectOnce(NetTask& task, Socket& socket, const Endpoint& endpoint, int budgetMs) {
    if (!openNonBlocking(socket)) {
        return SendResult::Failed;
    }
    if (endpoint.address == 0 || endpoint.address == 0xFFFFFFFFu) {
        return SendResult::Failed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return SendResult::Ok;
    }
    if (errno != EINPROGRESS) {
        return SendResult::Failed;
    }
    const SendResult waited = toResult(waitFor(task, socket.fd(), POLLOUT, budgetMs));
    if (waited != SendResult::Ok) {
        return waited;
    }
    return connectSucceeded(socket.fd()) ? SendResult::Ok : SendResult::Failed;
}

}  // namespace

void Socket::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void Socket::adopt(int fd) {
    close();
    m_fd = fd;
}

Endpoint Socket::peer() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return {};
    }
    return Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

SendResult ConnectWithTimeout(NetTask& task, Socket& socket, const Endpoint& endpoint,
                              int budgetMs) {
    const SendResult result = connectOnce(task, socket, endpoint, budgetMs);
    if (result != SendResult::Ok) {
        socket.close();
    }
    return result;
}

SendResult ConnectAny(NetTask& task, Socket& socket, const std::vector<std::uint32_t>& addresses,
                      std::uint16_t port) {
    for (const std::uint32_t address : addresses) {
        const SendResult result =
            ConnectWithTimeout(task, socket, Endpoint{address, port}, kConnectAnyBudgetMs);
        if (result != SendResult::Failed) {
            return result;
        }
    }
    return SendResult::Failed;
}

SendResult SendAll(NetTask& task, Socket& socket, std::string_view bytes, int budgetMs) {
    if (task.IsStopRequested()) {
        return SendResult::Stopped;
    }
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return SendResult::Failed;
        }
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            if (bytes.empty()) {
                return SendResult::Ok;
            }
        }
        const SendResult waited = toResult(waitFor(task, socket.fd(), POLLOUT, budgetMs));
        if (waited != SendResult::Ok) {
            return waited;
        }
    }
    return SendResult::Ok;
}

SendResult WaitReadable(NetTask& task, Socket& socket, int budgetMs) {
    return toResult(waitFor(task, socket.fd(), POLLIN, budgetMs));
}

SendResult ReceiveSome(NetTask& task, Socket& socket, char* buffer, std::size_t capacity,
                       int budgetMs, std::size_t& count) {
    count = 0;
    if (capacity == 0) {
        return SendResult::Ok;
    }
    const SendResult waited = WaitReadable(task, socket, budgetMs);
    if (waited != SendResult::Ok) {
        return waited;
    }
    ssize_t received = -1;
    do {
        received = ::recv(socket.fd(), buffer, capacity, 0);
    } while (received < 0 && errno == EINTR);
    if (received <= 0) {
        return SendResult::Failed;
    }
    count = static_cast<std::size_t>(received);
    return SendResult::Ok;
}

SendResult ReceiveUntilClosed(NetTask& task, Socket& socket, char* buffer, std::size_t capacity,
                              std::size_t& count) {
    count = 0;
    while (count < capacity) {
        std::size_t got = 0;
        const SendResult result =
            ReceiveSome(task, socket, buffer + count, capacity - count, kReceiveUntilClosedMs, got);
        if (result == SendResult::Stopped) {
            return result;
        }
        if (result != SendResult::Ok) {
            break;
        }
        count += got;
    }
    return SendResult::Ok;
}

SendResult ReceiveLine(NetTask& task, Socket& socket, std::string& line, int budgetMs) {
    line.clear();
    char peeked[kPeekBytes];
    for (;;) {
        const SendResult waited = WaitReadable(task, socket, budgetMs);
        if (waited == SendResult::Stopped) {
            return waited;
        }
        if (waited != SendResult::Ok) {
            break;
        }
        const ssize_t seen = ::recv(socket.fd(), peeked, sizeof peeked, MSG_PEEK);
        if (seen <= 0) {
            if (seen < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        const std::string_view view(peeked, static_cast<std::size_t>(seen));
        const std::size_t newline = view.find('\n');
        const std::size_t take = newline == std::string_view::npos ? view.size() : newline + 1;
        if (::recv(socket.fd(), peeked, take, 0) != static_cast<ssize_t>(take)) {
            return SendResult::Failed;
        }
        line.append(peeked, take);
        if (newline != std::string_view::npos) {
            break;
        }
    }
    if (line.empty()) {
        return SendResult::Failed;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return SendResult::Ok;
}

}  // namespace sonaro
