// The TLS session over sockets, and the mail and FTP clients' use of it: certificates checked,
// passwords never in the clear, handshakes that stall.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "net/base64.h"
#include "net/ftp_client.h"
#include "net/smtp_client.h"
#include "net/socket.h"
#include "net/tls_session.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/scripted_server.h"
#include "support/settings_home.h"
#include "support/temp_home.h"
#include "support/tls_fixture.h"

namespace sonaro {
namespace {

using test::Contains;
using test::ReadTextFile;

constexpr int kBudgetMs = 5000;
constexpr const char* kUser = "recorder";
constexpr const char* kPassword = "s3cret-Pa55";

// ---- Sockets ----

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

constexpr const char* kOtherName = "host name does not match the certificate";

struct Refusal {
    const char* name;
    const test::CertificateFiles& (test::TestCertificates::*files)() const;
    const char* host;
    const char* reason;
};

class CertificateRefusal : public TlsSocketTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CertificateRefusal, HandshakeFailsNamingTheReasonAndClosesTheSocket) {
    connectTo((certificates().*GetParam().files)());
    EXPECT_EQ(encrypt(GetParam().host), SendResult::Failed);
    EXPECT_EQ(m_failure, GetParam().reason);
    EXPECT_FALSE(m_socket.isOpen());
    EXPECT_FALSE(m_socket.isEncrypted());
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, CertificateRefusal,
    ::testing::Values(
        Refusal{"OtherHost", &test::TestCertificates::otherHost, "localhost", kOtherName},
        Refusal{"OtherAddress", &test::TestCertificates::otherHost, "127.0.0.1", kOtherName},
        Refusal{"LoopbackCertificateForAnotherName", &test::TestCertificates::loopback,
                "mail.example.org", kOtherName},
        Refusal{"Expired", &test::TestCertificates::expired, "localhost",
                "certificate has expired"},
        Refusal{"SelfSigned", &test::TestCertificates::selfSigned, "localhost",
                "self-signed certificate"}),
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
    EXPECT_EQ(m_failure, "wrong version number");
    EXPECT_FALSE(m_socket.isOpen());
    EXPECT_EQ(server.finish(), "");
}

// ---- Mail and FTP ----

// A client against a server that logs on `kUser` with `kPassword` and records what the client
// sends on the control connection (`m_wire`).
class SecureClientTest : public test::TlsTest {
  protected:
    // The server of `arguments`, encrypting with `files` (none: no TLS at all).
    void startServer(std::vector<std::string> arguments, const test::CertificateFiles* files) {
        arguments.insert(arguments.end(), {"--wire", m_wire});
        if (files != nullptr) {
            arguments.insert(arguments.end(), {"--tls", files->certificate, files->key});
        }
        ASSERT_TRUE(m_server.start(arguments));
        m_address = "localhost:" + std::to_string(m_server.port());
    }
    std::function<void(std::string_view)> logger() {
        return [this](std::string_view text) { m_log.emplace_back(text); };
    }

    test::SettingsHome m_home;
    const std::string& m_dir = m_home.path();
    const std::string m_wire = m_dir + "/wire";
    test::PythonServer m_server;
    std::string m_address;
    std::vector<std::string> m_log;
};

class SmtpTlsTest : public SecureClientTest {
  protected:
    SmtpTlsTest() {
        m_options.connectMs = 3000;
        m_options.replyMs = m_options.commandMs = m_options.textMs = 5000;
        m_options.handshakeMs = 5000;
        m_options.localName = "testhost";
        m_options.log = logger();
        m_job.to = "one@example.com";
        m_job.sender = "rec@example.net";
        m_job.subject = "take";
        m_job.body = "hello";
        m_job.sendDirect = false;
        m_job.secure = true;
        m_job.user = kUser;
        m_job.password = kPassword;
    }

    // aiosmtpd requiring a log-on; `implicit`: TLS from the start.
    void startServer(const test::CertificateFiles* files, bool implicit = false) {
        std::vector<std::string> arguments = {"smtp", m_dir, "--auth",
                                              std::string(kUser) + ":" + kPassword};
        if (implicit) {
            arguments.emplace_back("--implicit");
        }
        SecureClientTest::startServer(arguments, files);
        m_job.host = m_address;
    }
    SendResult send() { return SendSmtpMail(m_job, m_task, m_options); }
    std::string stored(int n, const char* suffix) const {
        return ReadTextFile(m_dir + "/" + std::to_string(n) + suffix);
    }
    // Neither the password nor any AUTH command crossed the wire in a form that can be read.
    void expectNoReadableLogOn() const {
        const std::string wire = ReadTextFile(m_wire);
        ASSERT_FALSE(wire.empty());
        EXPECT_FALSE(Contains(wire, "AUTH"));
        EXPECT_FALSE(Contains(wire, kPassword));
        EXPECT_FALSE(Contains(wire, Base64Encode(kPassword)));
        EXPECT_FALSE(Contains(wire, Base64Encode(std::string(1, '\0') + kUser + '\0' + kPassword)));
    }

    SmtpOptions m_options;
    SmtpJob m_job;
    test::RecordingTask m_task;
};

TEST_F(SmtpTlsTest, StartTlsBeforeTheLogOnAndTheMailArrivesIntact) {
    startServer(&certificates().loopback());
    const std::string wav = test::RandomBytes(300001, 7);
    test::WriteTextFile(m_dir + "/take.wav", wav);
    m_job.attachments = {m_dir + "/take.wav"};
    ASSERT_EQ(send(), SendResult::Ok) << (m_task.messages.empty() ? "" : m_task.messages.front());
    EXPECT_TRUE(m_task.messages.empty());

    const std::string info = stored(1, ".json");
    EXPECT_TRUE(Contains(info, "\"login\": \"recorder\"")) << info;
    EXPECT_TRUE(Contains(info, "\"tls\": true")) << info;
    const test::ParsedMail mail = test::ParseStoredMail(m_dir + "/1.eml");
    ASSERT_TRUE(mail.ok);
    EXPECT_EQ(mail.text, "hello");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_TRUE(mail.attachments[0].bytes == wav);

    // In the clear: the greeting and STARTTLS, nothing more.
    const std::string wire = ReadTextFile(m_wire);
    const std::string plain = "EHLO testhost\r\nSTARTTLS\r\n";
    EXPECT_EQ(wire.substr(0, plain.size()), plain);
    expectNoReadableLogOn();
    EXPECT_FALSE(Contains(wire, "MAIL FROM"));
    EXPECT_FALSE(Contains(wire, Base64Encode(wav.substr(0, 57))));
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log.front().rfind("SMTP: secure connection to " + m_job.host + " (TLSv1.", 0), 0u)
        << m_log.front();
    EXPECT_TRUE(Contains(m_log.front(), "certificate /CN=loopback issued by /CN=Test CA"))
        << m_log.front();
}

TEST_F(SmtpTlsTest, MailWithoutLogOnIsEncryptedToo) {
    startServer(&certificates().loopback());
    m_job.user.clear();
    m_job.password.clear();
    ASSERT_EQ(send(), SendResult::Ok);
    EXPECT_TRUE(Contains(stored(1, ".json"), "\"tls\": true"));
}

TEST_F(SmtpTlsTest, ImplicitTlsOnItsPort) {
    startServer(&certificates().loopback(), true);
    m_options.implicitTlsPort = m_server.port();
    m_job.host = "127.0.0.1:" + std::to_string(m_server.port());
    ASSERT_EQ(send(), SendResult::Ok) << (m_task.messages.empty() ? "" : m_task.messages.front());
    const std::string info = stored(1, ".json");
    EXPECT_TRUE(Contains(info, "\"login\": \"recorder\"")) << info;
    EXPECT_TRUE(Contains(info, "\"tls\": true")) << info;
    EXPECT_FALSE(Contains(ReadTextFile(m_wire), "EHLO"));
    expectNoReadableLogOn();
}

TEST_F(SmtpTlsTest, RefusedCertificateFailsWithItsReasonBeforeTheLogOn) {
    startServer(&certificates().otherHost());
    EXPECT_EQ(send(), SendResult::Failed);
    EXPECT_EQ(m_task.messages,
              std::vector<std::string>{"Cannot make a secure connection to mail server \"" +
                                       m_job.host + "\": " + kOtherName + "."});
    // The log keeps what the user is not shown: the certificate and OpenSSL's own words.
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log.front().rfind(
                  "SMTP: secure connection to " + m_job.host + " refused: " + kOtherName + " (", 0),
              0u)
        << m_log.front();
    EXPECT_TRUE(Contains(m_log.front(), "refused certificate /CN=other issued by /CN=Test CA"))
        << m_log.front();
    EXPECT_TRUE(Contains(m_log.front(), "OpenSSL: certificate verify failed")) << m_log.front();
    expectNoReadableLogOn();
    EXPECT_TRUE(stored(1, ".json").empty());
}

TEST_F(SmtpTlsTest, ServerWithoutEncryptionNeverSeesThePasswordUnlessAllowed) {
    startServer(nullptr);
    const std::string refusal =
        "Mail server \"" + m_job.host +
        "\" did not offer a secure connection, so the password was not sent. Please turn on "
        "\"Use secure connection (SSL/TLS) if available\" in your Email Settings, or allow "
        "sending the password unencrypted there.";
    EXPECT_EQ(send(), SendResult::Failed);
    EXPECT_EQ(m_task.messages, std::vector<std::string>{refusal});
    // Without "secure" as well: still no password in the clear.
    m_job.secure = false;
    test::RecordingTask plain;
    EXPECT_EQ(SendSmtpMail(m_job, plain, m_options), SendResult::Failed);
    EXPECT_EQ(plain.messages, std::vector<std::string>{refusal});
    expectNoReadableLogOn();
    EXPECT_TRUE(stored(1, ".json").empty());

    // The user's choice: the log-on goes in the clear (AUTH PLAIN, as offered).
    m_job.allowPlainPassword = true;
    test::RecordingTask allowed;
    ASSERT_EQ(SendSmtpMail(m_job, allowed, m_options), SendResult::Ok);
    EXPECT_TRUE(Contains(stored(1, ".json"), "\"login\": \"recorder\""));
    EXPECT_TRUE(Contains(ReadTextFile(m_wire), "AUTH PLAIN "));

    m_job.password = "wrong";
    test::RecordingTask refused;
    EXPECT_EQ(SendSmtpMail(m_job, refused, m_options), SendResult::Failed);
    EXPECT_EQ(refused.messages,
              std::vector<std::string>{"Email authentication username or password not accepted"});
    EXPECT_TRUE(stored(2, ".json").empty());
}

class FtpTlsTest : public SecureClientTest {
  protected:
    FtpTlsTest() {
        std::filesystem::create_directories(m_root);
        test::WriteTextFile(m_take, "abc");
    }

    // pyftpdlib, and the "Ftp" settings pointing at it.
    void startServer(const test::CertificateFiles* files) {
        SecureClientTest::startServer({"ftp", m_root, kUser, kPassword}, files);
        m_settings.WriteSettingString("Ftp", "Server", m_address);
        m_settings.WriteSettingString("Ftp", "UserName", kUser);
        m_settings.WriteSettingString("Ftp", "Password", kPassword);
        m_settings.WriteSettingString("Ftp", "Directory", "/");
    }
    SendResult upload(test::RecordingTask& task, const std::string& path) {
        FtpTimeouts timeouts;
        timeouts.connectMs = 3000;
        timeouts.replyMs = timeouts.commandMs = timeouts.dataMs = timeouts.listingMs = 5000;
        timeouts.handshakeMs = 5000;
        return UploadRecordingByFtp(task, m_settings, path, timeouts, nullptr, logger());
    }
    void expectNoReadableLogOn() const {
        const std::string wire = ReadTextFile(m_wire);
        EXPECT_FALSE(Contains(wire, "USER"));
        EXPECT_FALSE(Contains(wire, "PASS"));
        EXPECT_FALSE(Contains(wire, kPassword));
    }

    SettingsStore& m_settings = m_home.settings;
    const std::string m_root = m_dir + "/root";
    const std::string m_take = m_dir + "/take.wav";
};

TEST_F(FtpTlsTest, UploadOverProtectedDataConnectionArrivesByteIdentical) {
    startServer(&certificates().loopback());
    const std::string bytes = test::RandomBytes(1000003, 11);
    const std::string local = m_dir + "/take 2.wav";
    test::WriteTextFile(local, bytes);
    test::RecordingTask task;
    ASSERT_EQ(upload(task, local), SendResult::Ok)
        << (task.messages.empty() ? "" : task.messages.front());
    EXPECT_TRUE(task.messages.empty());
    const std::string arrived = ReadTextFile(m_root + "/take 2.wav");
    EXPECT_EQ(arrived.size(), bytes.size());
    EXPECT_TRUE(arrived == bytes);
    EXPECT_DOUBLE_EQ(task.progress.back(), 1.0);

    const std::string wire = ReadTextFile(m_wire);
    EXPECT_EQ(wire.substr(0, 10), "AUTH TLS\r\n");
    expectNoReadableLogOn();
    EXPECT_FALSE(Contains(wire, "STOR"));
    ASSERT_GE(m_log.size(), 2u);
    EXPECT_EQ(m_log[0].rfind("FTP: secure connection to " + m_address + " (TLSv1.", 0), 0u)
        << m_log[0];
    EXPECT_EQ(m_log[1].rfind("FTP: data connection encrypted (TLSv1.", 0), 0u) << m_log[1];
    EXPECT_TRUE(Contains(m_log[1], ", session reused")) << m_log[1];
}

TEST_F(FtpTlsTest, RefusedCertificateFailsWithItsReasonBeforeTheLogOn) {
    startServer(&certificates().otherHost());
    test::RecordingTask task;
    EXPECT_EQ(upload(task, m_take), SendResult::Failed);
    EXPECT_EQ(task.messages,
              std::vector<std::string>{"Cannot make a secure connection to FTP server \"" +
                                       m_address + "\": " + kOtherName + "."});
    expectNoReadableLogOn();
    EXPECT_FALSE(std::filesystem::exists(m_root + "/take.wav"));
}

TEST_F(FtpTlsTest, ServerWithoutEncryptionNeverSeesThePasswordUnlessAllowed) {
    startServer(nullptr);
    const std::string refusal =
        "FTP server \"" + m_address +
        "\" did not offer a secure connection, so the user name and password were not sent. "
        "Please turn on \"Use secure connection (SSL/TLS) if available\" in Options->Transmit, "
        "or allow sending the password unencrypted there.";
    test::RecordingTask task;
    EXPECT_EQ(upload(task, m_take), SendResult::Failed);
    EXPECT_EQ(task.messages, std::vector<std::string>{refusal});
    EXPECT_EQ(ReadTextFile(m_wire), "AUTH TLS\r\n");

    m_settings.WriteSettingBool("Ftp", "UseSSL", false);
    test::RecordingTask plain;
    EXPECT_EQ(upload(plain, m_take), SendResult::Failed);
    EXPECT_EQ(plain.messages, std::vector<std::string>{refusal});
    EXPECT_EQ(ReadTextFile(m_wire), "AUTH TLS\r\n");

    m_settings.WriteSettingBool("Ftp", "AllowPlainPassword", true);
    test::RecordingTask allowed;
    EXPECT_EQ(upload(allowed, m_take), SendResult::Ok);
    EXPECT_EQ(ReadTextFile(m_root + "/take.wav"), "abc");
    EXPECT_TRUE(Contains(ReadTextFile(m_wire), std::string("PASS ") + kPassword));
}

// ---- A server that never completes the handshake ----

struct Stalled {
    const char* name;
    // One attempt's script: up to the handshake when `secure`, else up to the first plain wait.
    void (*script)(test::ScriptedServer& server, bool secure);
    // One attempt on the server at `port`, every wait given `budgetMs`.
    SendResult (*attempt)(test::RecordingTask& task, std::uint16_t port, int budgetMs, bool secure);
    // What the task is told when the handshake budget runs out.
    std::string (*failure)(const std::string& address);
};

std::string address(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

const Stalled kStalled[] = {
    {"Socket", [](test::ScriptedServer& server, bool) { server.accept().silentUntilClosed(); },
     [](test::RecordingTask& task, std::uint16_t port, int budgetMs, bool secure) {
         Socket socket;
         EXPECT_EQ(ConnectWithTimeout(task, socket, Endpoint{0x7F000001, port}, kBudgetMs),
                   SendResult::Ok);
         std::string failure;
         std::string line;
         const SendResult result = secure ? StartTls(task, socket, "localhost", budgetMs, failure)
                                          : ReceiveLine(task, socket, line, budgetMs);
         if (!failure.empty()) {
             task.messages.push_back(failure);
         }
         EXPECT_TRUE(!secure || !socket.isOpen()) << "a failed handshake closes the socket";
         return result;
     },
     [](const std::string&) {
         return std::string("the server did not complete the encrypted handshake in time");
     }},
    {"Smtp",
     [](test::ScriptedServer& server, bool secure) {
         server.accept().send("220 hi\r\n");
         if (secure) {
             server.expect("EHLO testhost").send("250-hi\r\n250 STARTTLS\r\n");
             server.expect("STARTTLS").send("220 go ahead\r\n");
         }
         server.silentUntilClosed();
     },
     [](test::RecordingTask& task, std::uint16_t port, int budgetMs, bool secure) {
         SmtpOptions options;
         options.replyMs = options.handshakeMs = budgetMs;
         options.localName = "testhost";
         SmtpJob job;
         job.to = "one@example.com";
         job.host = address(port);
         job.sendDirect = false;
         job.secure = secure;
         job.user = kUser;
         job.password = kPassword;
         return SendSmtpMail(job, task, options);
     },
     [](const std::string& address) {
         return "Cannot make a secure connection to mail server \"" + address +
                "\": the server did not complete the encrypted handshake in time.";
     }},
    {"Ftp",
     [](test::ScriptedServer& server, bool secure) {
         server.accept().send("220 hi\r\n");
         if (secure) {
             server.expect("AUTH TLS").send("234 go ahead\r\n");
         } else {
             server.expect("USER u");
         }
         server.silentUntilClosed();
     },
     [](test::RecordingTask& task, std::uint16_t port, int budgetMs, bool secure) {
         FtpTimeouts timeouts;
         timeouts.replyMs = timeouts.handshakeMs = budgetMs;
         FtpSecurity security;
         security.secure = secure;
         security.allowPlainPassword = !secure;
         FtpConnection connection(task, timeouts, security);
         const SendResult result = connection.FtpLogOn(address(port), "u", "p");
         connection.close();
         return result;
     },
     [](const std::string& address) {
         return "Cannot make a secure connection to FTP server \"" + address +
                "\": the server did not complete the encrypted handshake in time.";
     }},
};

class StalledHandshake : public test::TlsTest, public ::testing::WithParamInterface<Stalled> {};

TEST_P(StalledHandshake, FailsAfterItsBudgetAndAStopEndsItAsFastAsAPlainWait) {
    const Stalled& client = GetParam();
    test::ScriptedServer server;
    for (const bool secure : {true, true, false}) {
        client.script(server, secure);
    }
    server.start();
    test::RecordingTask task;
    const test::Stopwatch budget;
    EXPECT_EQ(client.attempt(task, server.port(), 400, true), SendResult::Failed);
    EXPECT_GE(budget.ms(), 390);
    EXPECT_LT(budget.ms(), 2000);
    EXPECT_EQ(task.messages, std::vector<std::string>{client.failure(address(server.port()))});
    for (const bool secure : {true, false}) {
        SCOPED_TRACE(secure ? "handshake" : "plain wait");
        test::RecordingTask stopped;
        const test::Stopwatch stop;
        stopped.stopAfter(200);
        EXPECT_EQ(client.attempt(stopped, server.port(), 60000, secure), SendResult::Stopped);
        // The stop handle wakes the wait: no 200 ms polling slice is waited out.
        EXPECT_LT(stop.ms(), 350);
        EXPECT_TRUE(stopped.messages.empty());
    }
    EXPECT_EQ(server.finish(), "");
}

INSTANTIATE_TEST_SUITE_P(Clients, StalledHandshake, ::testing::ValuesIn(kStalled),
                         [](const ::testing::TestParamInfo<Stalled>& param) {
                             return param.param.name;
                         });

}  // namespace
}  // namespace sonaro
