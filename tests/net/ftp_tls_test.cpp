#include <gtest/gtest.h>

#include <filesystem>

#include "net/ftp_client.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/scripted_server.h"
#include "support/settings_home.h"
#include "support/tls_fixture.h"

namespace sonaro {
namespace {

using test::ReadTextFile;

constexpr const char* kPassword = "ftp-s3cret";

bool contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

FtpTimeouts fastTimeouts() {
    FtpTimeouts timeouts;
    timeouts.connectMs = 3000;
    timeouts.replyMs = 5000;
    timeouts.commandMs = 5000;
    timeouts.dataMs = 5000;
    timeouts.listingMs = 5000;
    timeouts.handshakeMs = 5000;
    return timeouts;
}

class FtpTlsTest : public test::TlsTest {
  protected:
    void SetUp() override {
        test::TlsTest::SetUp();
        m_root = m_home.path() + "/root";
        m_wire = m_home.path() + "/wire";
        std::filesystem::create_directories(m_root);
    }

    // pyftpdlib with the given certificate (none: plain FTP), a relay recording what the client
    // sends on the control connection, and the "Ftp" settings pointing at it.
    void startServer(const test::CertificateFiles* files) {
        std::vector<std::string> arguments = {"ftp",     m_root,   "recorder",
                                              kPassword, "--wire", m_wire};
        if (files != nullptr) {
            arguments.insert(arguments.end(), {"--tls", files->certificate, files->key});
        }
        ASSERT_TRUE(m_server.start(arguments));
        m_server_text = "localhost:" + std::to_string(m_server.port());
        m_settings.WriteSettingString("Ftp", "Server", m_server_text);
        m_settings.WriteSettingString("Ftp", "UserName", "recorder");
        m_settings.WriteSettingString("Ftp", "Password", kPassword);
        m_settings.WriteSettingString("Ftp", "Directory", "/");
    }
    SendResult upload(test::RecordingTask& task, const std::string& path) {
        return UploadRecordingByFtp(task, m_settings, path, fastTimeouts(), nullptr,
                                    [this](std::string_view text) { m_log.emplace_back(text); });
    }
    void expectNoReadableLogOn() const {
        const std::string wire = ReadTextFile(m_wire);
        EXPECT_FALSE(contains(wire, "USER"));
        EXPECT_FALSE(contains(wire, "PASS"));
        EXPECT_FALSE(contains(wire, kPassword));
    }

    test::SettingsHome m_home;
    SettingsStore& m_settings = m_home.settings;
    std::string m_root;
    std::string m_wire;
    std::string m_server_text;
    test::PythonServer m_server;
    std::vector<std::string> m_log;
};

TEST_F(FtpTlsTest, UploadOverProtectedDataConnectionArrivesByteIdentical) {
    startServer(&certificates().loopback());
    const std::string bytes = test::RandomBytes(1000003, 11);
    const std::string local = m_home.path() + "/take 2.wav";
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
    EXPECT_FALSE(contains(wire, "STOR"));
    ASSERT_GE(m_log.size(), 2u);
    EXPECT_EQ(m_log[0].rfind("FTP: secure connection to " + m_server_text + " (TLSv1.", 0), 0u)
        << m_log[0];
    EXPECT_EQ(m_log[1].rfind("FTP: data connection encrypted (TLSv1.", 0), 0u) << m_log[1];
    EXPECT_TRUE(contains(m_log[1], ", session reused")) << m_log[1];
}

TEST_F(FtpTlsTest, RefusedCertificateFailsWithItsReasonBeforeTheLogOn) {
    startServer(&certificates().otherHost());
    const std::string local = m_home.path() + "/take.wav";
    test::WriteTextFile(local, "abc");
    test::RecordingTask task;
    EXPECT_EQ(upload(task, local), SendResult::Failed);
    EXPECT_EQ(task.messages, std::vector<std::string>{
                                 "Cannot make a secure connection to FTP server \"" +
                                 m_server_text + "\": host name does not match the certificate."});
    expectNoReadableLogOn();
    EXPECT_FALSE(std::filesystem::exists(m_root + "/take.wav"));
}

TEST_F(FtpTlsTest, ServerWithoutEncryptionNeverSeesThePasswordUnlessAllowed) {
    startServer(nullptr);
    const std::string local = m_home.path() + "/take.wav";
    test::WriteTextFile(local, "abc");
    const std::string refusal =
        "FTP server \"" + m_server_text +
        "\" did not offer a secure connection, so the user name and password were not sent. "
        "Please turn on \"Use secure connection (SSL/TLS) if available\" in Options->Transmit, "
        "or allow sending the password unencrypted there.";
    test::RecordingTask task;
    EXPECT_EQ(upload(task, local), SendResult::Failed);
    EXPECT_EQ(task.messages, std::vector<std::string>{refusal});
    EXPECT_EQ(ReadTextFile(m_wire), "AUTH TLS\r\n");

    m_settings.WriteSettingBool("Ftp", "UseSSL", false);
    test::RecordingTask plain;
    EXPECT_EQ(upload(plain, local), SendResult::Failed);
    EXPECT_EQ(plain.messages, std::vector<std::string>{refusal});
    EXPECT_EQ(ReadTextFile(m_wire), "AUTH TLS\r\n");

    m_settings.WriteSettingBool("Ftp", "AllowPlainPassword", true);
    test::RecordingTask allowed;
    EXPECT_EQ(upload(allowed, local), SendResult::Ok);
    EXPECT_EQ(ReadTextFile(m_root + "/take.wav"), "abc");
    EXPECT_TRUE(contains(ReadTextFile(m_wire), std::string("PASS ") + kPassword));
}

TEST_F(FtpTlsTest, StalledHandshakeFailsAfterItsBudgetAndStopsAsFastAsAPlainWait) {
    test::ScriptedServer server;
    for (int i = 0; i < 2; ++i) {
        server.accept().send("220 hi\r\n").expect("AUTH TLS").send("234 go ahead\r\n");
        server.silentUntilClosed();
    }
    server.accept().send("220 hi\r\n").expect("USER u").silentUntilClosed();
    server.start();
    const std::string address = "127.0.0.1:" + std::to_string(server.port());
    FtpTimeouts timeouts = fastTimeouts();
    timeouts.handshakeMs = 400;
    FtpSecurity security;
    security.secure = true;
    security.allowPlainPassword = false;
    test::RecordingTask task;
    FtpConnection budgeted(task, timeouts, security);
    const test::Stopwatch budget;
    EXPECT_EQ(budgeted.FtpLogOn(address, "u", "p"), SendResult::Failed);
    EXPECT_GE(budget.ms(), 390);
    EXPECT_EQ(task.messages, std::vector<std::string>{
                                 "Cannot make a secure connection to FTP server \"" + address +
                                 "\": the server did not complete the encrypted handshake in "
                                 "time."});
    budgeted.close();

    timeouts.handshakeMs = 60000;
    timeouts.replyMs = 60000;
    test::RecordingTask stopped;
    FtpConnection secure(stopped, timeouts, security);
    const test::Stopwatch tls;
    {
        const test::StopLater later(stopped, 200);
        EXPECT_EQ(secure.FtpLogOn(address, "u", "p"), SendResult::Stopped);
    }
    const long long tlsMs = tls.ms();
    secure.close();

    test::RecordingTask plainStopped;
    FtpConnection plain(plainStopped, timeouts);
    const test::Stopwatch plainWatch;
    {
        const test::StopLater later(plainStopped, 200);
        EXPECT_EQ(plain.FtpLogOn(address, "u", "p"), SendResult::Stopped);
    }
    EXPECT_LT(tlsMs, 350);
    EXPECT_LT(plainWatch.ms(), 350);
    EXPECT_TRUE(stopped.messages.empty());
    plain.close();
    EXPECT_EQ(server.finish(), "");
}

}  // namespace
}  // namespace sonaro
