#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>

namespace sonaro::test {
namespace {

constexpr int kStepWaitMs = 15000;
constexpr int kPieceGapMs = 60;

int listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Waits for `fd` to become readable; false on time-out or when the server is being torn down.
bool waitReadable(int fd, int wake) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    return poll(fds, 2, kStepWaitMs) > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

int acceptOn(int listener, int wake) {
    if (!waitReadable(listener, wake)) {
        return -1;
    }
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Appends what arrives to `into`; 0 when the peer closed, -1 on time-out or error.
long receiveInto(int fd, int wake, std::string& into) {
    if (!waitReadable(fd, wake)) {
        return -1;
    }
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    }
    return n;
}

}  // namespace

ScriptedServer::ScriptedServer() {
    m_listen = listenOnLoopback(m_port);
    m_dataListen = listenOnLoopback(m_dataPort);
    if (pipe2(m_wake, O_CLOEXEC) != 0) {
        m_wake[0] = m_wake[1] = -1;
    }
}

ScriptedServer::~ScriptedServer() {
    if (m_thread.joinable()) {
        [[maybe_unused]] const ssize_t ignored = write(m_wake[1], "x", 1);
        m_thread.join();
    }
    for (int* fd : {&m_listen, &m_dataListen, &m_conn, &m_data, &m_wake[0], &m_wake[1]}) {
        closeFd(*fd);
    }
}

ScriptedServer& ScriptedServer::add(std::function<bool()> step) {
    m_steps.push_back(std::move(step));
    return *this;
}

ScriptedServer& ScriptedServer::accept() {
    return add([this] {
        closeFd(m_conn);
        m_pending.clear();
        m_conn = acceptOn(m_listen, m_wake[0]);
        return m_conn >= 0 || fail("no connection arrived");
    });
}

ScriptedServer& ScriptedServer::send(std::string bytes) {
    return add([this, bytes] { return sendAll(m_conn, bytes) || fail("send failed"); });
}

ScriptedServer& ScriptedServer::sendPieces(std::vector<std::string> pieces) {
    return add([this, pieces] {
        for (const std::string& piece : pieces) {
            if (!sendAll(m_conn, piece)) {
                return fail("send failed");
            }
            poll(nullptr, 0, kPieceGapMs);
        }
        return true;
    });
}

ScriptedServer& ScriptedServer::expect(std::string expected) {
    return add([this, expected] {
        std::string line;
        if (!takeUntil("\n", line)) {
            return false;
        }
        line.pop_back();
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line == expected || fail("expected \"" + expected + "\", got \"" + line + "\"");
    });
}

ScriptedServer& ScriptedServer::receiveUntil(std::string terminator) {
    return add([this, terminator] {
        std::string ignored;
        return takeUntil(terminator, ignored);
    });
}

ScriptedServer& ScriptedServer::silentUntilClosed() {
    return add([this] {
        pollfd fds[2] = {{m_conn, POLLRDHUP, 0}, {m_wake[0], POLLIN, 0}};
        return (poll(fds, 2, kStepWaitMs) > 0 && fds[0].revents != 0) ||
               fail("client did not close the connection");
    });
}

ScriptedServer& ScriptedServer::close() {
    return add([this] {
        closeFd(m_conn);
        return true;
    });
}

ScriptedServer& ScriptedServer::acceptData() {
    return add([this] {
        m_data = acceptOn(m_dataListen, m_wake[0]);
        return m_data >= 0 || fail("no data connection arrived");
    });
}

ScriptedServer& ScriptedServer::receiveDataUntilClosed() {
    return add([this] {
        std::string data;
        long n = 0;
        while ((n = receiveInto(m_data, m_wake[0], data)) > 0) {
        }
        {
            std::lock_guard lock(m_lock);
            m_dataReceived += data;
        }
        return n == 0 || fail("data connection not closed");
    });
}

ScriptedServer& ScriptedServer::sendData(std::string bytes) {
    return add([this, bytes] { return sendAll(m_data, bytes) || fail("data send failed"); });
}

ScriptedServer& ScriptedServer::closeData() {
    return add([this] {
        closeFd(m_data);
        return true;
    });
}

void ScriptedServer::start() {
    m_thread = std::thread([this] { run(); });
}

void ScriptedServer::run() {
    for (const auto& step : m_steps) {
        if (!step()) {
            break;
        }
        std::lock_guard lock(m_lock);
        ++m_done;
    }
    closeFd(m_data);
    closeFd(m_conn);
    {
        std::lock_guard lock(m_lock);
        m_finished = true;
    }
    m_ended.notify_all();
}

std::string ScriptedServer::finish(int ms) {
    {
        std::unique_lock lock(m_lock);
        if (!m_ended.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_finished; })) {
            return "script still running at step " + std::to_string(m_done);
        }
    }
    m_thread.join();
    std::lock_guard lock(m_lock);
    return m_error;
}

std::string ScriptedServer::received() const {
    std::lock_guard lock(m_lock);
    return m_received;
}

std::string ScriptedServer::dataReceived() const {
    std::lock_guard lock(m_lock);
    return m_dataReceived;
}

bool ScriptedServer::fail(std::string text) {
    std::lock_guard lock(m_lock);
    if (m_error.empty()) {
        m_error = "step " + std::to_string(m_done) + ": " + text;
    }
    return false;
}

bool ScriptedServer::takeUntil(const std::string& terminator, std::string& taken) {
    std::size_t found;
    while ((found = m_pending.find(terminator)) == std::string::npos) {
        if (receiveInto(m_conn, m_wake[0], m_pending) <= 0) {
            return fail("closed or silent before \"" + terminator + "\"; got \"" + m_pending +
                        "\"");
        }
    }
    taken = m_pending.substr(0, found + terminator.size());
    m_pending.erase(0, taken.size());
    std::lock_guard lock(m_lock);
    m_received += taken;
    return true;
}

}  // namespace sonaro::test
