#include "net/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>

#include "net/tls_session.h"

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

// Removes the CR and LF that end a received line; Failed when nothing at all arrived.
SendResult trimLine(std::string& line) {
    if (line.empty()) {
        return SendResult::Failed;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return SendResult::Ok;
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

// OpenSSL's socket writes do not pass MSG_NOSIGNAL: SIGPIPE is blocked for this thread while it
// runs, and one it raised against a peer that went away is taken off again (the call then
// fails with EPIPE as a plain send would).
class PipeSignalBlock {
  public:
    PipeSignalBlock() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~PipeSignalBlock() {
        if (sigismember(&m_previous, SIGPIPE) == 0) {
            const timespec zero{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock&) = delete;
    PipeSignalBlock& operator=(const PipeSignalBlock&) = delete;

  private:
    sigset_t m_pipe;
    sigset_t m_previous;
};

// How a TLS call ended: its positive return value, or the OpenSSL error that stopped it.
struct TlsOutcome {
    SendResult result = SendResult::Failed;
    int value = 0;
    int sslError = SSL_ERROR_NONE;
};

// Repeats `call` (an OpenSSL operation on `ssl`, positive on success) whenever it wants the
// socket readable or writable, until `deadline`. A retried SSL_write gets the same arguments.
template <class Call>
TlsOutcome tlsCall(NetTask& task, int fd, SSL* ssl, Clock::time_point deadline, Call call) {
    TlsOutcome outcome;
    for (;;) {
        if (task.IsStopRequested()) {
            outcome.result = SendResult::Stopped;
            return outcome;
        }
        int returned = 0;
        {
            const PipeSignalBlock block;
            ERR_clear_error();
            returned = call();
        }
        if (returned > 0) {
            outcome.result = SendResult::Ok;
            outcome.value = returned;
            return outcome;
        }
        outcome.sslError = SSL_get_error(ssl, returned);
        short events = 0;
        if (outcome.sslError == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else if (outcome.sslError == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else {
            outcome.result = SendResult::Failed;
            return outcome;
        }
        const Ready ready = waitFor(task, fd, events, remainingMs(deadline));
        if (ready != Ready::Yes) {
            outcome.result = toResult(ready);
            return outcome;
        }
    }
}

Clock::time_point deadlineAfter(int budgetMs) {
    return Clock::now() + std::chrono::milliseconds(budgetMs);
}

int clampedSize(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

SendResult sendAllTls(NetTask& task, Socket& socket, std::string_view bytes, int budgetMs) {
    SSL* ssl = socket.tls()->ssl();
    while (!bytes.empty()) {
        const int chunk = clampedSize(bytes.size());
        const TlsOutcome written = tlsCall(task, socket.fd(), ssl, deadlineAfter(budgetMs),
                                           [&] { return SSL_write(ssl, bytes.data(), chunk); });
        if (written.result != SendResult::Ok) {
            return written.result;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written.value));
    }
    return SendResult::Ok;
}

SendResult receiveLineTls(NetTask& task, Socket& socket, std::string& line, int budgetMs) {
    SSL* ssl = socket.tls()->ssl();
    char peeked[kPeekBytes];
    for (;;) {
        const TlsOutcome seen = tlsCall(task, socket.fd(), ssl, deadlineAfter(budgetMs),
                                        [&] { return SSL_peek(ssl, peeked, sizeof peeked); });
        if (seen.result == SendResult::Stopped) {
            return seen.result;
        }
        if (seen.result != SendResult::Ok) {
            return SendResult::Failed;
        }
        const std::string_view view(peeked, static_cast<std::size_t>(seen.value));
        const std::size_t newline = view.find('\n');
        const int take =
            static_cast<int>(newline == std::string_view::npos ? view.size() : newline + 1);
        const TlsOutcome taken = tlsCall(task, socket.fd(), ssl, deadlineAfter(budgetMs),
                                         [&] { return SSL_read(ssl, peeked, take); });
        if (taken.result != SendResult::Ok || taken.value != take) {
            return taken.result == SendResult::Stopped ? taken.result : SendResult::Failed;
        }
        line.append(peeked, static_cast<std::size_t>(take));
        if (newline != std::string_view::npos) {
            return SendResult::Ok;
        }
    }
}

}  // namespace

Socket::Socket() = default;

Socket::~Socket() {
    close();
}

void Socket::setTls(std::unique_ptr<TlsSession> tls) {
    m_tls = std::move(tls);
}

void Socket::close() {
    m_tls.reset();
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
    if (socket.isEncrypted()) {
        return sendAllTls(task, socket, bytes, budgetMs);
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
    // Decrypted bytes already held by the session would never wake a poll.
    if (socket.isEncrypted() && SSL_pending(socket.tls()->ssl()) > 0) {
        return task.IsStopRequested() ? SendResult::Stopped : SendResult::Ok;
    }
    return toResult(waitFor(task, socket.fd(), POLLIN, budgetMs));
}

SendResult ReceiveSome(NetTask& task, Socket& socket, char* buffer, std::size_t capacity,
                       int budgetMs, std::size_t& count) {
    count = 0;
    if (capacity == 0) {
        return SendResult::Ok;
    }
    if (socket.isEncrypted()) {
        SSL* ssl = socket.tls()->ssl();
        const int wanted = clampedSize(capacity);
        const TlsOutcome read = tlsCall(task, socket.fd(), ssl, deadlineAfter(budgetMs),
                                        [&] { return SSL_read(ssl, buffer, wanted); });
        if (read.result == SendResult::Ok) {
            count = static_cast<std::size_t>(read.value);
        }
        return read.result;
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
    if (socket.isEncrypted()) {
        const SendResult result = receiveLineTls(task, socket, line, budgetMs);
        if (result == SendResult::Stopped) {
            return result;
        }
        return trimLine(line);
    }
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
    return trimLine(line);
}

SendResult StartTls(NetTask& task, Socket& socket, std::string_view hostName, int budgetMs,
                    std::string& failure, const Socket* resumeFrom, std::string* details) {
    failure.clear();
    std::string described;
    if (!socket.isOpen()) {
        failure = "not connected";
        return SendResult::Failed;
    }
    const TlsSession* offered = resumeFrom != nullptr ? resumeFrom->tls() : nullptr;
    std::unique_ptr<TlsSession> session =
        TlsSession::Create(socket.fd(), hostName, offered, failure);
    if (!session) {
        socket.close();
        return SendResult::Failed;
    }
    SSL* ssl = session->ssl();
    const TlsOutcome handshake =
        tlsCall(task, socket.fd(), ssl, deadlineAfter(budgetMs), [&] { return SSL_connect(ssl); });
    if (handshake.result == SendResult::Ok) {
        described = session->describe();
        socket.setTls(std::move(session));
    }
    if (handshake.result == SendResult::Failed) {
        const bool waiting =
            handshake.sslError == SSL_ERROR_WANT_READ || handshake.sslError == SSL_ERROR_WANT_WRITE;
        failure = waiting ? "the server did not complete the encrypted handshake in time"
                          : session->handshakeFailure(handshake.sslError,
                                                      "the encrypted handshake failed", described);
    }
    if (details != nullptr) {
        *details = described;
    }
    if (handshake.result != SendResult::Ok) {
        socket.close();
    }
    return handshake.result;
}

void CloseGracefully(NetTask& task, Socket& socket, int budgetMs) {
    if (socket.isEncrypted() && socket.isOpen()) {
        SSL* ssl = socket.tls()->ssl();
        const Clock::time_point deadline = deadlineAfter(budgetMs);
        // 0: the alert went out and the peer's has not come yet.
        const TlsOutcome alert = tlsCall(task, socket.fd(), ssl, deadline, [&] {
            const int returned = SSL_shutdown(ssl);
            return returned == 0 ? 1 : returned;
        });
        if (alert.result == SendResult::Ok) {
            ::shutdown(socket.fd(), SHUT_WR);
            // Closing with unread bytes (a session ticket, the peer's alert) would reset the
            // connection and could cost the peer the end of what it had not read yet: read on
            // until the peer closes.
            char scratch[4096];
            while (tlsCall(task, socket.fd(), ssl, deadline, [&] {
                       return SSL_read(ssl, scratch, sizeof scratch);
                   }).result == SendResult::Ok) {
            }
        }
    }
    socket.close();
}

}  // namespace sonaro
