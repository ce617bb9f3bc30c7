#include "net/ftp_client.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <filesystem>

#include "net/ftp_listing.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/recording_task.h"
#include "support/scripted_server.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

using test::ReadTextFile;
using test::WriteTextFile;

constexpr FtpTimeouts kFast{.connectMs = 2000,
                            .replyMs = 3000,
                            .commandMs = 3000,
                            .passwordMs = 3000,
                            .dataMs = 3000,
                            .listingMs = 3000,
                            .handshakeMs = 20000};

std::string localAddress(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

// A PASV answered with the server's data port (and a foreign host, which the client ignores),
// then the data connection accepted.
test::ScriptedServer& passive(test::ScriptedServer& server) {
    const int port = server.dataPort();
    return server.expect("PASV")
        .send("227 Entering Passive Mode (10,1,2,3," + std::to_string(port / 256) + "," +
              std::to_string(port % 256) + ")\r\n")
        .acceptData();
}

// `command` on a passive data connection that carries `listing`.
void scriptListing(test::ScriptedServer& server, const std::string& command,
                   const std::string& listing) {
    server.expect("TYPE A").send("200 ascii\r\n");
    passive(server).expect(command).send("150 here\r\n").sendData(listing).closeData();
    server.send("226 sent\r\n");
}

class FtpTest : public test::SettingsTest {
  protected:
    FtpTest() { std::filesystem::create_directories(m_dir + "/root/sub"); }

    bool startServer(const std::string& user) {
        if (!m_server.start({"ftp", m_dir + "/root", user, "pw"})) {
            return false;
        }
        m_settings.WriteSettingString("Ftp", "Server", localAddress(m_server.port()));
        m_settings.WriteSettingString("Ftp", "UserName", user);
        m_settings.WriteSettingString("Ftp", "Password", "pw");
        m_settings.WriteSettingString("Ftp", "Directory", "/sub");
        m_settings.WriteSettingBool("Ftp", "AllowPlainPassword", true);
        return true;
    }

    // A greeting and a USER answered 230 (no PASS), as the start of a script.
    static test::ScriptedServer& greet(test::ScriptedServer& server, const std::string& user) {
        return server.accept().send("220 ready\r\n").expect("USER " + user).send("230 in\r\n");
    }

    std::unique_ptr<FtpConnection> logOn(test::ScriptedServer& server, const std::string& user,
                                         const std::string& password = "") {
        server.start();
        auto connection = std::make_unique<FtpConnection>(m_task, kFast);
        EXPECT_EQ(connection->FtpLogOn(localAddress(server.port()), user, password),
                  SendResult::Ok);
        return connection;
    }

    // Closes the connection; the server must have seen its whole script.
    static void finish(FtpConnection& connection, test::ScriptedServer& server) {
        connection.close();
        EXPECT_EQ(server.finish(), "");
    }

    test::PythonServer m_server;
    test::RecordingTask m_task;
};

TEST_F(FtpTest, UploadArrivesByteIdenticalWithItsModificationTime) {
    ASSERT_TRUE(startServer("recorder"));
    const std::string bytes = test::RandomBytes(1'500'000, 7);
    const std::string local = m_dir + "/take 1.wav";
    WriteTextFile(local, bytes);
    const timeval times[2] = {{981'173'106, 0}, {981'173'106, 0}};
    ASSERT_EQ(utimes(local.c_str(), times), 0);
    ASSERT_EQ(UploadRecordingByFtp(m_task, m_settings, local, kFast), SendResult::Ok);
    const std::string remote = m_dir + "/root/sub/take 1.wav";
    EXPECT_TRUE(ReadTextFile(remote) == bytes);
    struct stat info {};
    ASSERT_EQ(stat(remote.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 981'173'106);
    EXPECT_EQ(m_task.statuses.front(), std::make_pair(std::string("Uploading file..."), 0));
    EXPECT_EQ(m_task.statuses[1], std::make_pair(std::string("take 1.wav"), 1));
    EXPECT_DOUBLE_EQ(m_task.progress.front(), 0.0);
    EXPECT_DOUBLE_EQ(m_task.progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(m_task.progress.begin(), m_task.progress.end()));
}

TEST_F(FtpTest, EmptyFileAndNonAsciiUserAndRemoteSize) {
    ASSERT_TRUE(startServer("j\xC3\xBCrgen"));
    const std::string local = m_dir + "/empty.wav";
    WriteTextFile(local, "");
    ASSERT_EQ(UploadRecordingByFtp(m_task, m_settings, local, kFast), SendResult::Ok);
    struct stat info {};
    ASSERT_EQ(stat((m_dir + "/root/sub/empty.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(m_task.progress, std::vector<double>{0.0});

    WriteTextFile(m_dir + "/root/sub/known.mp3", std::string(4321, 'k'));
    FtpConnection connection(m_task, kFast);
    const std::string address = localAddress(m_server.port());
    ASSERT_EQ(connection.FtpLogOn(address, "j\xC3\xBCrgen", "pw"), SendResult::Ok);
    ASSERT_EQ(connection.FtpChangeDirectory("/sub"), SendResult::Ok);
    std::uint64_t size = 1;
    EXPECT_EQ(connection.FtpRemoteSize("known.mp3", size), SendResult::Ok);
    EXPECT_EQ(size, 4321u);
    EXPECT_TRUE(connection.features().mfmt && connection.features().mlstSize);
    EXPECT_EQ(connection.FtpRemoteSize("absent.mp3", size), SendResult::Ok);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(connection.FtpLogOn(address, "jurgen", "pw"), SendResult::Failed);
    EXPECT_EQ(connection.FtpChangeDirectory("/sub\r\nDELE x"), SendResult::Failed);
}

TEST_F(FtpTest, StorRefused550IsRetriedOnANewConnectionToTheControlPeer) {
    test::ScriptedServer server;
    greet(server, "anon").expect("TYPE I").send("200 binary\r\n");
    passive(server).expect("STOR take.wav").send("550 busy\r\n").closeData();
    passive(server).expect("STOR take.wav").send("150 go\r\n").receiveDataUntilClosed();
    server.send("226 done\r\n");
    server.expect("FEAT").send("211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n");
    const std::string bytes = test::RandomBytes(200'000, 9);
    WriteTextFile(m_dir + "/take.wav", bytes);
    auto connection = logOn(server, "anon", "x");
    EXPECT_EQ(connection->FtpUpload("take.wav", m_dir + "/take.wav"), SendResult::Ok);
    finish(*connection, server);
    EXPECT_TRUE(server.dataReceived() == bytes);
}

TEST_F(FtpTest, FinalReplyOtherThan226IsCheckedAgainstTheRemoteSize) {
    WriteTextFile(m_dir + "/take.wav", std::string(6000, 'a'));
    for (const std::string listed : {"6000", "5999"}) {
        SCOPED_TRACE(listed);
        test::ScriptedServer server;
        greet(server, "anon").expect("TYPE I").send("200 binary\r\n");
        passive(server).expect("STOR take.wav").send("150 go\r\n").receiveDataUntilClosed();
        server.send("451 hiccup\r\n");
        server.expect("FEAT").send("211-Features:\r\n SIZE\r\n211 End\r\n");
        server.expect("TYPE I").send("200 binary\r\n");
        server.expect("SIZE take.wav").send("213 " + listed + "\r\n");
        auto connection = logOn(server, "anon");
        EXPECT_EQ(connection->FtpUpload("take.wav", m_dir + "/take.wav"),
                  listed == "6000" ? SendResult::Ok : SendResult::Failed);
        finish(*connection, server);
    }
}

TEST_F(FtpTest, RemoteSizeFallsBackToAListingWithoutFeatures) {
    test::ScriptedServer server;
    server.accept().send("220-Welcome\r\n220-more\r\n220 ready\r\n");
    server.expect("USER u").send("331 password\r\n").expect("PASS p").send("230 in\r\n");
    server.expect("FEAT").send("500 what\r\n");
    server.expect("TYPE I").send("502 no\r\n");
    scriptListing(server, "LIST take 2.wav*",
                  "-rw-r--r--   1 ftp ftp  99 Dec  6 20:31 take 2.wav.bak\r\n"
                  "-rw-r--r--   1 ftp ftp  12345 Dec  6 20:31 take 2.wav\r\n");
    auto connection = logOn(server, "u", "p");
    std::uint64_t size = 0;
    EXPECT_EQ(connection->FtpRemoteSize("take 2.wav", size), SendResult::Ok);
    EXPECT_EQ(size, 12345u);
    EXPECT_FALSE(connection->features().asked);
    finish(*connection, server);
}

TEST_F(FtpTest, RemoteSizeFromAMachineListingWhenOnlyMlsdIsOffered) {
    test::ScriptedServer server;
    greet(server, "u");
    server.expect("FEAT").send("211-Features:\r\n MLSD\r\n MLST type*;modify*;\r\n211 End\r\n");
    scriptListing(server, "MLSD",
                  "type=file;size=5;modify=20260101000000; take.wav.old\r\n"
                  "type=file;Size=777;modify=20260101000000; take.wav\r\n");
    auto connection = logOn(server, "u");
    std::uint64_t size = 0;
    EXPECT_EQ(connection->FtpRemoteSize("take.wav", size), SendResult::Ok);
    EXPECT_EQ(size, 777u);
    EXPECT_TRUE(connection->features().mlstModify && !connection->features().mlstSize);
    finish(*connection, server);
}

// Sizes beyond 64 bits in every place a size comes from: none is taken, none ends the program.
TEST_F(FtpTest, OverlongSizesAreRefusedInEveryReply) {
    const std::string overlong = "184467440737095516160";
    for (const bool machineListing : {false, true}) {
        SCOPED_TRACE(machineListing);
        test::ScriptedServer server;
        greet(server, "u");
        if (machineListing) {
            server.expect("FEAT").send("211-Features:\r\n MLST size*;\r\n211 End\r\n");
            server.expect("MLST take.wav")
                .send("250-Listing\r\n size=" + overlong + "; take.wav\r\n250 End\r\n");
        } else {
            server.expect("FEAT").send("211-Features:\r\n SIZE\r\n211 End\r\n");
            server.expect("TYPE I").send("200 binary\r\n");
            server.expect("SIZE take.wav").send("213 " + overlong + "\r\n");
        }
        scriptListing(server, "LIST take.wav*",
                      "-rw-r--r--   1 ftp ftp  " + overlong + " Dec  6 20:31 take.wav\r\n");
        auto connection = logOn(server, "u");
        std::uint64_t size = 1;
        EXPECT_EQ(connection->FtpRemoteSize("take.wav", size), SendResult::Failed);
        finish(*connection, server);
    }
    FtpListingEntry entry;
    EXPECT_FALSE(ParseListingLine("12-06-26  08:31PM  18,446,744,073,709,551,616 take.mp3", entry));
    EXPECT_TRUE(ParseListingLine("12-06-26  08:31PM  18,446,744,073,709,551,615 take.mp3", entry));
    EXPECT_EQ(entry.size, UINT64_MAX);
}

TEST_F(FtpTest, SilentServerFailsAfterTheBudget) {
    test::ScriptedServer server;
    server.accept().silentUntilClosed();
    server.start();
    FtpTimeouts timeouts = kFast;
    timeouts.replyMs = 500;
    FtpConnection connection(m_task, timeouts);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.FtpLogOn(localAddress(server.port()), "u", "p"), SendResult::Failed);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    connection.close();
    EXPECT_EQ(server.finish(), "");
}

TEST(FtpParsing, PassiveReplyAndListingLines) {
    Endpoint endpoint;
    ASSERT_TRUE(ParsePassiveReply("Entering Passive Mode (192,168,1,2,19,137).", endpoint));
    EXPECT_EQ(FormatAddress(endpoint.address), "192.168.1.2");
    EXPECT_EQ(endpoint.port, 5001);
    EXPECT_FALSE(ParsePassiveReply("Entering Passive Mode 192,168,1,2,19,137", endpoint));
    EXPECT_FALSE(ParsePassiveReply("(192,168,1,2,19)", endpoint));
    // Each number is one byte; a larger one is not taken modulo 256.
    EXPECT_FALSE(ParsePassiveReply("(127,0,0,1,19,393)", endpoint));
    EXPECT_FALSE(ParsePassiveReply("(383,0,0,1,19,137)", endpoint));
    EXPECT_FALSE(ParsePassiveReply("(127,0,0,1,19,99999999999999999999999)", endpoint));
    EXPECT_FALSE(ParsePassiveReply("(127,0,0,1,-19,137)", endpoint));

    FtpListingEntry entry;
    ASSERT_TRUE(
        ParseListingLine("-rw-r--r--  1 owner group 5000000000 Jan 15  2027 my take.wav\r", entry));
    EXPECT_EQ(entry.name, "my take.wav");
    EXPECT_EQ(entry.size, 5'000'000'000u);
    EXPECT_EQ(entry.timeOrYear, "2027");
    EXPECT_FALSE(entry.isDirectory);
    ASSERT_TRUE(ParseListingLine("lrwxrwxrwx 1 owner 7 Dec  6 20:31 latest -> take.wav", entry));
    EXPECT_EQ(entry.name, "latest");
    EXPECT_EQ(entry.linkTarget, "take.wav");
    ASSERT_TRUE(ParseListingLine("drwxr-xr-x 2 o g 4096 Dec  6 20:31 folder", entry));
    EXPECT_TRUE(entry.isDirectory);
    ASSERT_TRUE(ParseListingLine("12-06-26  08:31PM       <DIR>          Old Takes", entry));
    EXPECT_TRUE(entry.isDirectory);
    EXPECT_EQ(entry.name, "Old Takes");
    ASSERT_TRUE(ParseListingLine("12-06-26  08:31PM            12,345,678 take 3.mp3", entry));
    EXPECT_EQ(entry.size, 12'345'678u);
    EXPECT_EQ(entry.name, "take 3.mp3");
    EXPECT_FALSE(ParseListingLine("total 12", entry));
    EXPECT_FALSE(ParseListingLine("", entry));
}

}  // namespace
}  // namespace sonaro
