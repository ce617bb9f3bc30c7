#include <gtest/gtest.h>

#include "net/socket.h"
#include "net/tls_session.h"
#include "support/python_server.h"
#include "support/scripted_server.h"
#include "support/tls_fixture.h"

namespace sonaro {
namespace {

constexpr int kBudgetMs = 5000;

class TlsSocketTest : public test::TlsTest {
  protected:
    // A "lines" server with `files`; the client socket connected to it (not yet encrypted).
    void connectTo(const test::CertificateFiles& files) {
        ASSERT_TRUE(m_server.start({"lines", files.certificate, files.key}));
        ASSERT_EQ(
            ConnectWithTimeout(m_task, m_socket, Endpoint{0x7F000001, m_server.port()}, kBudgetMs),
            SendResult::Ok);
    }
    SendResult encrypt(std::string_view host) {
        return StartTls(m_task, m_socket, host, kBudgetMs, m_failure);
    }

    test::PythonServer m_server;
    test::RecordingTask m_task;
    Socket m_socket;
    std::string m_failure;
};

TEST_F(TlsSocketTest, LinesAreTakenOneByOneAndRepliesComeBackOverTheSession) {
    connectTo(certificates().loopback());
    ASSERT_EQ(encrypt("127.0.0.1"), SendResult::Ok) << m_failure;
    EXPECT_TRUE(m_socket.isEncrypted());
    std::string line;
    // The three arrive in one record: each line leaves the rest in the session for the next.
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, kBudgetMs), SendResult::Ok);
    EXPECT_EQ(line, "one");
    ASSERT_EQ(WaitReadable(m_task, m_socket, 0), SendResult::Ok);
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, kBudgetMs), SendResult::Ok);
    EXPECT_EQ(line, "two");
    // No line break follows: the time-out ends the line there.
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, 300), SendResult::Ok);
    EXPECT_EQ(line, "three");

    const std::string big(200000, 'x');
    ASSERT_EQ(SendAll(m_task, m_socket, big + "\r\nsecond\r\n", kBudgetMs), SendResult::Ok);
    std::string echoed;
    while (echoed.size() < big.size() + 8) {
        char buffer[70000];
        std::size_t count = 0;
        ASSERT_EQ(ReceiveSome(m_task, m_socket, buffer, sizeof buffer, kBudgetMs, count),
                  SendResult::Ok);
        echoed.append(buffer, count);
    }
    EXPECT_EQ(echoed.substr(0, 8), "echo: xx");
    EXPECT_EQ(echoed.size(), big.size() + 8);
    ASSERT_EQ(ReceiveLine(m_task, m_socket, line, kBudgetMs), SendResult::Ok);
    EXPECT_EQ(line, "echo: second");
    CloseGracefully(m_task, m_socket, kBudgetMs);
    EXPECT_FALSE(m_socket.isOpen());
}

TEST_F(TlsSocketTest, PeerGoneWhileSendingFailsInsteadOfRaisingSigpipe) {
    connectTo(certificates().loopback());
    ASSERT_EQ(encrypt("localhost"), SendResult::Ok) << m_failure;
    ASSERT_EQ(SendAll(m_task, m_socket, "bye\r\n", kBudgetMs), SendResult::Ok);
    std::string line;
    while (ReceiveLine(m_task, m_socket, line, kBudgetMs) == SendResult::Ok) {
    }
    // The peer has closed: the sends fail with EPIPE or a reset, the process lives on.
    const std::string block(1 << 20, 'z');
    SendResult result = SendResult::Ok;
    for (int i = 0; i < 64 && result == SendResult::Ok; ++i) {
        result = SendAll(m_task, m_socket, block, kBudgetMs);
    }
    EXPECT_EQ(result, SendResult::Failed);
}

TEST_F(TlsSocketTest, CertificateForTheNameIsAcceptedByName) {
    connectTo(certificates().loopback());
    EXPECT_EQ(encrypt("localhost"), SendResult::Ok) << m_failure;
}

struct Refusal {
    const char* name;
    test::CertificateFiles (*files)();
    const char* host;
    const char* reason;
};

class CertificateRefusal : public TlsSocketTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CertificateRefusal, HandshakeFailsNamingTheReasonAndClosesTheSocket) {
    connectTo(GetParam().files());
    EXPECT_EQ(encrypt(GetParam().host), SendResult::Failed);
    EXPECT_EQ(m_failure, GetParam().reason);
    EXPECT_FALSE(m_socket.isOpen());
    EXPECT_FALSE(m_socket.isEncrypted());
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, CertificateRefusal,
    ::testing::Values(
        Refusal{"OtherHost", [] { return test::TestCertificates::Shared().otherHost(); },
                "localhost", "host name does not match the certificate"},
        Refusal{"OtherAddress", [] { return test::TestCertificates::Shared().otherHost(); },
                "127.0.0.1", "host name does not match the certificate"},
        Refusal{"LoopbackCertificateForAnotherName",
                [] { return test::TestCertificates::Shared().loopback(); }, "mail.example.org",
                "host name does not match the certificate"},
        Refusal{"Expired", [] { return test::TestCertificates::Shared().expired(); }, "localhost",
                "certificate has expired"},
        Refusal{"SelfSigned", [] { return test::TestCertificates::Shared().selfSigned(); },
                "localhost", "self-signed certificate"}),
    [](const ::testing::TestParamInfo<Refusal>& param) { return param.param.name; });

TEST_F(TlsSocketTest, TrustStoreComesFromSslCertFile) {
    // The system store alone does not know the test CA.
    trust("/nonexistent/store.pem");
    connectTo(certificates().loopback());
    EXPECT_EQ(encrypt("localhost"), SendResult::Failed);
    EXPECT_EQ(m_failure, "unable to get local issuer certificate");

    // A self-signed certificate trusted as its own authority.
    test::PythonServer self;
    ASSERT_TRUE(self.start(
        {"lines", certificates().selfSigned().certificate, certificates().selfSigned().key}));
    trust(certificates().selfSigned().certificate);
    ASSERT_EQ(ConnectWithTimeout(m_task, m_socket, Endpoint{0x7F000001, self.port()}, kBudgetMs),
              SendResult::Ok);
    EXPECT_EQ(encrypt("localhost"), SendResult::Ok) << m_failure;
}

TEST_F(TlsSocketTest, PlainServerFailsTheHandshakeWithOpenSslsReason) {
    test::ScriptedServer server;
    server.accept().send("220 plain server ready\r\n").silentUntilClosed();
    server.start();
    ASSERT_EQ(ConnectWithTimeout(m_task, m_socket, Endpoint{0x7F000001, server.port()}, kBudgetMs),
              SendResult::Ok);
    EXPECT_EQ(encrypt("localhost"), SendResult::Failed);
    EXPECT_FALSE(m_failure.empty());
    EXPECT_EQ(m_failure, "wrong version number");
    EXPECT_FALSE(m_socket.isOpen());
    EXPECT_EQ(server.finish(), "");
}

TEST_F(TlsSocketTest, StalledHandshakeFailsAfterItsBudgetAndStopsAtOnce) {
    test::ScriptedServer server;
    server.accept().silentUntilClosed().accept().silentUntilClosed();
    server.start();
    const Endpoint endpoint{0x7F000001, server.port()};
    ASSERT_EQ(ConnectWithTimeout(m_task, m_socket, endpoint, kBudgetMs), SendResult::Ok);
    const test::Stopwatch budget;
    EXPECT_EQ(StartTls(m_task, m_socket, "localhost", 400, m_failure), SendResult::Failed);
    EXPECT_GE(budget.ms(), 390);
    EXPECT_LT(budget.ms(), 2000);
    EXPECT_EQ(m_failure, "the server did not complete the encrypted handshake in time");

    test::RecordingTask stopped;
    ASSERT_EQ(ConnectWithTimeout(stopped, m_socket, endpoint, kBudgetMs), SendResult::Ok);
    const test::Stopwatch stop;
    {
        const test::StopLater later(stopped, 200);
        EXPECT_EQ(StartTls(stopped, m_socket, "localhost", 60000, m_failure), SendResult::Stopped);
    }
    // The stop handle wakes the wait: no 200 ms polling slice is waited out.
    EXPECT_LT(stop.ms(), 350);
    EXPECT_FALSE(m_socket.isOpen());
    EXPECT_EQ(server.finish(), "");
}

}  // namespace
}  // namespace sonaro
