#include <gtest/gtest.h>

#include "net/base64.h"
#include "net/smtp_client.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/scripted_server.h"
#include "support/temp_home.h"
#include "support/tls_fixture.h"

namespace sonaro {
namespace {

using test::ReadTextFile;

constexpr const char* kUser = "recorder";
constexpr const char* kPassword = "s3cret-Pa55";

bool contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

class SmtpTlsTest : public test::TlsTest {
  protected:
    void SetUp() override {
        test::TlsTest::SetUp();
        m_dir = test::MakeTempDir("smtp-tls");
        m_wire = m_dir + "/wire";
        m_options.connectMs = 3000;
        m_options.replyMs = 5000;
        m_options.commandMs = 5000;
        m_options.textMs = 5000;
        m_options.handshakeMs = 5000;
        m_options.localName = "testhost";
        m_options.log = [this](std::string_view text) { m_log.emplace_back(text); };
        m_job.to = "one@example.com";
        m_job.sender = "rec@example.net";
        m_job.subject = "take";
        m_job.body = "hello";
        m_job.sendDirect = false;
        m_job.secure = true;
        m_job.user = kUser;
        m_job.password = kPassword;
    }
    void TearDown() override {
        test::RemoveTree(m_dir);
        test::TlsTest::TearDown();
    }

    // aiosmtpd with the given certificate (none: no TLS at all), a log-on required, and a relay
    // that records what the client sends.
    void startServer(const test::CertificateFiles* files, bool implicit = false) {
        std::vector<std::string> arguments = {
            "smtp", m_dir, "--auth", std::string(kUser) + ":" + kPassword, "--wire", m_wire};
        if (files != nullptr) {
            arguments.insert(arguments.end(), {"--tls", files->certificate, files->key});
        }
        if (implicit) {
            arguments.emplace_back("--implicit");
        }
        ASSERT_TRUE(m_server.start(arguments));
        m_job.host = "localhost:" + std::to_string(m_server.port());
    }
    SendResult send() { return SendSmtpMail(m_job, m_task, m_options); }
    std::string stored(int n, const char* suffix) const {
        return ReadTextFile(m_dir + "/" + std::to_string(n) + suffix);
    }
    // Neither the password nor any AUTH command crossed the wire in a form that can be read.
    void expectNoReadableLogOn() const {
        const std::string wire = ReadTextFile(m_wire);
        ASSERT_FALSE(wire.empty());
        EXPECT_FALSE(contains(wire, "AUTH"));
        EXPECT_FALSE(contains(wire, kPassword));
        EXPECT_FALSE(contains(wire, Base64Encode(kPassword)));
        EXPECT_FALSE(contains(wire, Base64Encode(std::string(1, '\0') + kUser + '\0' + kPassword)));
    }

    std::string m_dir;
    std::string m_wire;
    test::PythonServer m_server;
    SmtpOptions m_options;
    SmtpJob m_job;
    test::RecordingTask m_task;
    std::vector<std::string> m_log;
};

TEST_F(SmtpTlsTest, StartTlsBeforeTheLogOnAndTheMailArrivesIntact) {
    startServer(&certificates().loopback());
    const std::string wav = test::RandomBytes(300001, 7);
    test::WriteTextFile(m_dir + "/take.wav", wav);
    m_job.attachments = {m_dir + "/take.wav"};
    ASSERT_EQ(send(), SendResult::Ok) << (m_task.messages.empty() ? "" : m_task.messages.front());
    EXPECT_TRUE(m_task.messages.empty());

    const std::string info = stored(1, ".json");
    EXPECT_TRUE(contains(info, "\"login\": \"recorder\"")) << info;
    EXPECT_TRUE(contains(info, "\"tls\": true")) << info;
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
    EXPECT_FALSE(contains(wire, "MAIL FROM"));
    EXPECT_FALSE(contains(wire, Base64Encode(wav.substr(0, 57))));
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log.front().rfind("SMTP: secure connection to " + m_job.host + " (TLSv1.", 0), 0u)
        << m_log.front();
    EXPECT_TRUE(contains(m_log.front(), "certificate /CN=loopback issued by /CN=Test CA"))
        << m_log.front();
}

TEST_F(SmtpTlsTest, MailWithoutLogOnIsEncryptedToo) {
    startServer(&certificates().loopback());
    m_job.user.clear();
    m_job.password.clear();
    ASSERT_EQ(send(), SendResult::Ok);
    EXPECT_TRUE(contains(stored(1, ".json"), "\"tls\": true"));
}

TEST_F(SmtpTlsTest, ImplicitTlsOnItsPort) {
    startServer(&certificates().loopback(), true);
    m_options.implicitTlsPort = m_server.port();
    m_job.host = "127.0.0.1:" + std::to_string(m_server.port());
    ASSERT_EQ(send(), SendResult::Ok) << (m_task.messages.empty() ? "" : m_task.messages.front());
    const std::string info = stored(1, ".json");
    EXPECT_TRUE(contains(info, "\"login\": \"recorder\"")) << info;
    EXPECT_TRUE(contains(info, "\"tls\": true")) << info;
    EXPECT_FALSE(contains(ReadTextFile(m_wire), "EHLO"));
    expectNoReadableLogOn();
}

TEST_F(SmtpTlsTest, RefusedCertificateFailsWithItsReasonBeforeTheLogOn) {
    startServer(&certificates().expired());
    EXPECT_EQ(send(), SendResult::Failed);
    EXPECT_EQ(m_task.messages,
              std::vector<std::string>{"Cannot make a secure connection to mail server \"" +
                                       m_job.host + "\": certificate has expired."});
    // The log keeps what the user is not shown: the certificate and OpenSSL's own words.
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(
        m_log.front().rfind(
            "SMTP: secure connection to " + m_job.host + " refused: certificate has expired (", 0),
        0u)
        << m_log.front();
    EXPECT_TRUE(contains(m_log.front(), "refused certificate /CN=expired issued by /CN=Test CA"))
        << m_log.front();
    EXPECT_TRUE(contains(m_log.front(), "OpenSSL: certificate verify failed")) << m_log.front();
    expectNoReadableLogOn();
    EXPECT_TRUE(stored(1, ".json").empty());

    // The certificate names another host than the one typed.
    test::PythonServer other;
    ASSERT_TRUE(other.start({"smtp", m_dir, "--tls", certificates().otherHost().certificate,
                             certificates().otherHost().key}));
    m_job.host = "127.0.0.1:" + std::to_string(other.port());
    test::RecordingTask task;
    EXPECT_EQ(SendSmtpMail(m_job, task, m_options), SendResult::Failed);
    EXPECT_EQ(task.messages, std::vector<std::string>{
                                 "Cannot make a secure connection to mail server \"" + m_job.host +
                                 "\": host name does not match the certificate."});
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
    EXPECT_TRUE(contains(stored(1, ".json"), "\"login\": \"recorder\""));
    EXPECT_TRUE(contains(ReadTextFile(m_wire), "AUTH PLAIN "));
}

// A server that offers STARTTLS, accepts it, and then says nothing.
class StalledStartTls : public SmtpTlsTest {
  protected:
    void script(test::ScriptedServer& server) {
        server.accept().send("220 hi\r\n").expect("EHLO testhost");
        server.send("250-hi\r\n250 STARTTLS\r\n").expect("STARTTLS").send("220 go ahead\r\n");
        server.silentUntilClosed();
    }
};

TEST_F(StalledStartTls, FailsAfterTheHandshakeBudgetAndStopsAsFastAsAPlainWait) {
    test::ScriptedServer server;
    script(server);
    script(server);
    server.accept().send("220 hi\r\n").silentUntilClosed();
    server.start();
    m_job.host = "127.0.0.1:" + std::to_string(server.port());
    m_options.handshakeMs = 400;
    const test::Stopwatch budget;
    EXPECT_EQ(send(), SendResult::Failed);
    EXPECT_GE(budget.ms(), 390);
    EXPECT_EQ(m_task.messages,
              std::vector<std::string>{
                  "Cannot make a secure connection to mail server \"" + m_job.host +
                  "\": the server did not complete the encrypted handshake in time."});

    m_options.handshakeMs = 60000;
    m_options.replyMs = 60000;
    test::RecordingTask stopped;
    const test::Stopwatch tls;
    {
        const test::StopLater later(stopped, 200);
        EXPECT_EQ(SendSmtpMail(m_job, stopped, m_options), SendResult::Stopped);
    }
    const long long tlsMs = tls.ms();
    // The same stop while the plain client waits for the EHLO reply.
    m_job.secure = false;
    test::RecordingTask plainStopped;
    const test::Stopwatch plain;
    {
        const test::StopLater later(plainStopped, 200);
        EXPECT_EQ(SendSmtpMail(m_job, plainStopped, m_options), SendResult::Stopped);
    }
    EXPECT_LT(tlsMs, 350);
    EXPECT_LT(plain.ms(), 350);
    EXPECT_TRUE(stopped.messages.empty());
    EXPECT_EQ(server.finish(), "");
}

}  // namespace
}  // namespace sonaro
