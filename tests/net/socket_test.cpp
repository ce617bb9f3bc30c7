#include "net/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/endpoint.h"
#include "support/recording_task.h"
#include "support/scripted_server.h"
#include "support/tls_fixture.h"

namespace sonaro {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

// A listener whose accept queue is full, so a further connect is never answered.
class UnansweringListener {
  public:
    UnansweringListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        socklen_t length = sizeof address;
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_fd, 0);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        test::RecordingTask task;
        for (Socket& filler : m_fillers) {
            ConnectWithTimeout(task, filler, Endpoint{kLoopback, port}, 300);
        }
    }
    ~UnansweringListener() { close(m_fd); }
    std::uint16_t port = 0;

  private:
    int m_fd = -1;
    Socket m_fillers[2];
};

TEST(EndpointText, PortAfterColonOverridesDefault) {
    EXPECT_EQ(ResolveEndpoint("127.0.0.1:2525", 25).port, 2525);
    EXPECT_EQ(ResolveEndpoint("127.0.0.1", 25).port, 25);
    EXPECT_EQ(ResolveEndpoint("127.0.0.1:", 21).port, 21);
    EXPECT_EQ(ResolveEndpoint("127.0.0.1:70000", 21).port, 70000 & 0xFFFF);
    EXPECT_EQ(ResolveEndpoint("localhost:99", 25).address, kLoopback);
    EXPECT_EQ(ResolveEndpoint("no-such-host.invalid", 25).address, 0u);
    EXPECT_EQ(ResolveAllAddresses("127.0.0.2:8080", 80).addresses,
              std::vector<std::uint32_t>{0x7F000002});
    EXPECT_FALSE(LocalHostName().empty());
}

TEST(Connect, RefusedAndUnresolvedFailAndCloseTheSocket) {
    test::RecordingTask task;
    Socket socket;
    std::uint16_t closedPort = 0;
    {
        test::ScriptedServer gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{kLoopback, closedPort}, 2000),
              SendResult::Failed);
    EXPECT_FALSE(socket.isOpen());
    EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{0, 25}, 2000), SendResult::Failed);
    EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{0xFFFFFFFF, 25}, 2000), SendResult::Failed);
    EXPECT_EQ(ConnectAny(task, socket, {}, 25), SendResult::Failed);
}

TEST(Connect, UnansweredConnectFailsAfterItsBudgetOrStopsAtOnce) {
    UnansweringListener listener;
    test::RecordingTask task;
    Socket socket;
    test::Stopwatch start;
    EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{kLoopback, listener.port}, 600),
              SendResult::Failed);
    EXPECT_GE(start.ms(), 550);

    task.stopAfter(100);
    start = test::Stopwatch();
    EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{kLoopback, listener.port}, 10000),
              SendResult::Stopped);
    EXPECT_LT(start.ms(), 100 + 200 + 300);
    EXPECT_FALSE(socket.isOpen());
}

class ScriptedPeer : public ::testing::Test {
  protected:
    void connect() {
        ASSERT_EQ(ConnectWithTimeout(m_task, m_socket, Endpoint{kLoopback, m_server.port()}, 2000),
                  SendResult::Ok);
    }

    test::ScriptedServer m_server;
    test::RecordingTask m_task;
    Socket m_socket;
};

TEST_F(ScriptedPeer, LinesLeaveTheRestOnTheSocketAndAClosedPeerFailsAtOnce) {
    m_server.accept().send("220 first\r\n220-second\r\nraw").close();
    m_server.accept().silentUntilClosed();
    m_server.start();
    connect();
    std::string line;
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, 2000), SendResult::Ok);
    EXPECT_EQ(line, "220 first");
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, 2000), SendResult::Ok);
    EXPECT_EQ(line, "220-second");
    char buffer[16];
    std::size_t count = 0;
    ASSERT_EQ(ReceiveSome(m_task, m_socket, buffer, sizeof buffer, 2000, count), SendResult::Ok);
    EXPECT_EQ(std::string(buffer, count), "raw");
    test::Stopwatch start;
    EXPECT_EQ(ReceiveSome(m_task, m_socket, buffer, sizeof buffer, 5000, count),
              SendResult::Failed);
    EXPECT_EQ(count, 0u);
    EXPECT_LT(start.ms(), 1000);
    EXPECT_EQ(ReceiveLine(m_task, m_socket, line, 2000), SendResult::Failed);

    connect();
    start = test::Stopwatch();
    EXPECT_EQ(ReceiveSome(m_task, m_socket, buffer, sizeof buffer, 500, count), SendResult::Failed);
    EXPECT_GE(start.ms(), 450);
    m_socket.close();
    EXPECT_EQ(m_server.finish(), "");
}

TEST_F(ScriptedPeer, StallingPeerEndsWithFailedAfterTheBudgetOrStopped) {
    m_server.accept().silentUntilClosed();
    m_server.start();
    connect();
    const std::string lots(64 * 1024 * 1024, 'x');
    test::Stopwatch start;
    EXPECT_EQ(SendAll(m_task, m_socket, lots, 400), SendResult::Failed);
    EXPECT_GE(start.ms(), 350);
    m_task.stopAfter(100);
    start = test::Stopwatch();
    EXPECT_EQ(SendAll(m_task, m_socket, lots, 10000), SendResult::Stopped);
    EXPECT_LT(start.ms(), 100 + 300);
    // Unsent bytes would hold the closing FIN back: reset instead.
    const linger reset{1, 0};
    setsockopt(m_socket.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    m_socket.close();
    EXPECT_EQ(m_server.finish(), "");
}

}  // namespace
}  // namespace sonaro
