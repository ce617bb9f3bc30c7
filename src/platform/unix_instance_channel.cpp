#include "platform/unix_instance_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "app/forward_block.h"
#include "net/socket.h"
#include "threads/event.h"

namespace sonaro {
namespace {

constexpr int kConnectMs = 5000;

// A block on its way to the user-interface thread; the task may outlive the server, so it owns
// what it touches.
struct Delivery {
    std::atomic<bool> done{false};
    std::atomic<std::uint32_t> answer{0};
};

// The poll time-out that wakes at `when`; -1 for never.
int msUntil(std::chrono::steady_clock::time_point when, std::chrono::steady_clock::time_point now) {
    if (when == std::chrono::steady_clock::time_point::max()) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

bool makeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool sendAll(int fd, std::span<const char> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads the 4-byte answer within `ms`.
ForwardResult awaitAnswer(int fd, int ms) {
    char answer[4];
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got < sizeof answer) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(std::max<long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return ForwardResult::TimedOut;
        }
        const ssize_t n = ready < 0 ? -1 : recv(fd, answer + got, sizeof answer - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return ForwardResult::Closed;
        }
        got += static_cast<std::size_t>(n);
    }
    const bool recordingFailed = answer[0] == static_cast<char>(ForwardAnswer::RecordingFailed) &&
                                 answer[1] == 0 && answer[2] == 0 && answer[3] == 0;
    return recordingFailed ? ForwardResult::RecordingFailed : ForwardResult::Delivered;
}

// True when an instance listens on `address`: its socket must not be replaced.
bool acceptsConnections(const sockaddr_un& address) {
    Socket probe;
    probe.adopt(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int saved = errno;
    const bool accepted =
        probe.fd() >= 0 &&
        connect(probe.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    errno = saved;
    return accepted;
}

}  // namespace

ForwardResult UnixInstanceChannel::Forward(std::span<const char> block, int replyMs) {
    sockaddr_un address{};
    if (!makeAddress(m_path, address)) {
        return ForwardResult::Failed;
    }
    Socket socket;
    socket.adopt(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0) {
        return ForwardResult::Failed;
    }
    // Bounds connect (a full backlog) and send; the answer has its own wait below.
    const timeval timeout{kConnectMs / 1000, 0};
    setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int connected;
    do {
        connected =
            connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        if (errno == ENOENT || errno == ECONNREFUSED) {
            return ForwardResult::NoInstance;
        }
        return errno == EAGAIN ? ForwardResult::TimedOut : ForwardResult::Failed;
    }
    if (!sendAll(socket.fd(), block)) {
        return errno == EAGAIN ? ForwardResult::TimedOut : ForwardResult::Closed;
    }
    shutdown(socket.fd(), SHUT_WR);
    return awaitAnswer(socket.fd(), replyMs);
}

UnixInstanceServer::UnixInstanceServer(std::string socketPath, UiDispatcher& dispatcher,
                                       Handler handler, std::FILE* errors)
    : m_path(std::move(socketPath)),
      m_dispatcher(dispatcher),
      m_handler(std::move(handler)),
      m_errors(errors) {}

UnixInstanceServer::~UnixInstanceServer() {
    Close();
}

bool UnixInstanceServer::bindSocket() {
    sockaddr_un address{};
    if (!makeAddress(m_path, address)) {
        report("the instance socket path is too long: " + m_path);
        return false;
    }
    m_listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0) {
        return false;
    }
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    struct stat info {};
    int bound = bind(m_listenFd, raw, sizeof address);
    if (bound != 0 && errno == EADDRINUSE && lstat(m_path.c_str(), &info) == 0 &&
        S_ISSOCK(info.st_mode) && !acceptsConnections(address)) {
        unlink(m_path.c_str());  // left by an instance that ended without removing it
        bound = bind(m_listenFd, raw, sizeof address);
    }
    if (bound != 0) {
        return false;
    }
    // The folder is private already; the socket itself is kept to its owner as well.
    if (chmod(m_path.c_str(), 0600) != 0 || listen(m_listenFd, 16) != 0 ||
        lstat(m_path.c_str(), &info) != 0) {
        return false;
    }
    m_inode = info.st_ino;
    return true;
}

bool UnixInstanceServer::Listen() {
    if (!bindSocket()) {
        report("cannot listen on " + m_path + ": " + std::strerror(errno));
        if (m_listenFd >= 0) {
            close(m_listenFd);
            m_listenFd = -1;
        }
        return false;
    }
    Start();
    return true;
}

void UnixInstanceServer::Close() {
    Stop();
    if (m_listenFd < 0) {
        return;
    }
    close(m_listenFd);
    m_listenFd = -1;
    struct stat info {};
    if (lstat(m_path.c_str(), &info) == 0 && info.st_ino == m_inode) {
        unlink(m_path.c_str());
    }
}

struct UnixInstanceServer::Client {
    int fd;
    TimePoint deadline;
    std::vector<char> block;
    std::shared_ptr<Delivery> delivery;  // set once the block is with the handler

    bool sending() const { return delivery == nullptr; }
};

void UnixInstanceServer::Run() {
    std::vector<Client> clients;
    std::vector<pollfd> polled;
    TimePoint acceptAfter{};
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const bool anySending = std::any_of(clients.begin(), clients.end(),
                                            [](const Client& client) { return client.sending(); });
        const bool accepting = now >= acceptAfter && (clients.size() < kMaxClients || anySending);
        // Entries with a negative descriptor are skipped by poll.
        polled.assign({{stopEvent().handle(), POLLIN, 0},
                       {m_answered->handle(), POLLIN, 0},
                       {accepting ? m_listenFd : -1, POLLIN, 0}});
        TimePoint wake = now < acceptAfter ? acceptAfter : TimePoint::max();
        for (const Client& client : clients) {
            polled.push_back({client.sending() ? client.fd : -1, POLLIN, 0});
            if (client.sending()) {
                wake = std::min(wake, client.deadline);
            }
        }
        const int ready = poll(polled.data(), polled.size(), msUntil(wake, now));
        if (ready < 0) {
            if (errno != EINTR) {
                report(std::string("cannot wait for command lines: ") + std::strerror(errno));
                if (WaitStop(100)) {
                    break;
                }
            }
            continue;
        }
        if (polled[0].revents != 0) {
            break;
        }
        if (polled[1].revents != 0) {
            m_answered->reset();  // before the answers are looked at, so none is missed
        }
        const auto after = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            bool keep = true;
            if (!client.sending()) {
                if (client.delivery->done) {
                    const std::uint32_t code = client.delivery->answer;
                    const char answer[4] = {
                        static_cast<char>(code & 0xFF), static_cast<char>((code >> 8) & 0xFF),
                        static_cast<char>((code >> 16) & 0xFF), static_cast<char>(code >> 24)};
                    sendAll(client.fd, answer);
                    keep = false;
                }
            } else {
                if (polled[3 + i].revents != 0) {
                    keep = receive(client);
                }
                keep = keep && (!client.sending() || after < client.deadline);
            }
            if (!keep) {
                close(client.fd);
                client.fd = -1;
            }
        }
        std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
        if (polled[2].revents != 0) {
            acceptClients(clients, acceptAfter);
        }
    }
    for (const Client& client : clients) {
        close(client.fd);
    }
}

void UnixInstanceServer::acceptClients(std::vector<Client>& clients, TimePoint& acceptAfter) {
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            // Out of descriptors, most likely: the peer stays queued until a retry shortly.
            if (!m_acceptFailing) {
                report(std::string("cannot accept a command line: ") + std::strerror(errno));
            }
            m_acceptFailing = true;
            acceptAfter = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            return;
        }
        m_acceptFailing = false;
        if (!peerIsSameUser(fd)) {
            close(fd);
            continue;
        }
        if (clients.size() >= kMaxClients) {
            const auto oldest = std::find_if(clients.begin(), clients.end(),
                                             [](const Client& client) { return client.sending(); });
            if (oldest == clients.end()) {
                close(fd);  // not reached: the listen socket is polled only while one is sending
                return;
            }
            close(oldest->fd);
            clients.erase(oldest);
        }
        clients.push_back({fd,
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(kReceiveMs),
                           {},
                           nullptr});
    }
}

bool UnixInstanceServer::peerIsSameUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        return false;
    }
    if (peer.uid != geteuid()) {
        report("refused a command line from user id " + std::to_string(peer.uid) + " (process " +
               std::to_string(peer.pid) + ")");
        return false;
    }
    return true;
}

bool UnixInstanceServer::receive(Client& client) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
        if (n == 0) {
            return deliver(client);  // the sender's end of data
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (client.block.size() + static_cast<std::size_t>(n) > kMaxForwardBytes) {
            return false;
        }
        client.block.insert(client.block.end(), buffer, buffer + n);
    }
}

bool UnixInstanceServer::deliver(Client& client) {
    if (!ParseForwardBlock(client.block)) {
        return false;
    }
    client.delivery = std::make_shared<Delivery>();
    m_dispatcher.post([delivery = client.delivery, answered = m_answered, handler = m_handler,
                       block = std::move(client.block)] {
        delivery->answer = static_cast<std::uint32_t>(handler(block));
        delivery->done = true;
        answered->set();
    });
    return true;
}

void UnixInstanceServer::report(const std::string& text) {
    std::fprintf(m_errors, "Sonaro: %s\n", text.c_str());
    std::fflush(m_errors);
}

}  // namespace sonaro
