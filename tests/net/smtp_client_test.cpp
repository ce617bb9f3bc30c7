#include "net/smtp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "net/mail_exchanger.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/recording_task.h"
#include "support/scripted_server.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using test::ReadTextFile;

constexpr std::string_view kNotResponding = "Mail server not responding";
constexpr std::string_view kRcptRefused =
    "Mail send error (RCPT TO not accepted). Your SMTP server may require a username or "
    "password. Please see Email Settings.";

SmtpOptions fastOptions() {
    SmtpOptions options;
    options.connectMs = 2000;
    options.replyMs = 3000;
    options.commandMs = 3000;
    options.textMs = 3000;
    options.localName = "testhost";
    return options;
}

std::uint16_t closedPort() {
    test::ScriptedServer gone;
    return gone.port();
}

class RealSmtp : public ::testing::Test {
  protected:
    bool startServer() { return m_server.start({"smtp", m_dir}); }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_server.port()); }
    std::string stored(int n, const char* suffix) const {
        return ReadTextFile(m_dir + "/" + std::to_string(n) + suffix);
    }

    const test::TempDir m_dir{"smtp"};
    test::PythonServer m_server;
};

TEST_F(RealSmtp, TwoAttachmentsSubjectAndDotLinesArriveIntactToTwoRecipientsInOneMessage) {
    ASSERT_TRUE(startServer());
    const std::string wav = test::RandomBytes(300001, 1);
    const std::string mp3 = test::RandomBytes(77777, 2);
    test::WriteTextFile(m_dir + "/take 1.wav", wav);
    test::WriteTextFile(m_dir + "/take 1.mp3", mp3);
    SmtpJob job;
    job.to = "one@example.com, two@example.org";
    job.sender = "rec@example.net";
    job.subject = "Aufnahme f\xC3\xBCr M\xC3\xBCller";
    job.body = ".starts with a dot\r\nplain\r\n.\r\n..two dots\r\n" + std::string(800, 'x') +
               ".after break\r\nend";
    job.attachments = {m_dir + "/take 1.wav", m_dir + "/take 1.mp3"};
    job.host = host();
    test::RecordingTask task;
    ASSERT_EQ(SendSmtpMail(job, task, fastOptions()), SendResult::Ok);
    EXPECT_TRUE(task.messages.empty());

    EXPECT_THAT(stored(1, ".json"),
                testing::HasSubstr("\"to\": [\"one@example.com\", \"two@example.org\"]"));
    EXPECT_TRUE(stored(2, ".json").empty());
    const test::ParsedMail mail = test::ParseStoredMail(m_dir + "/1.eml");
    ASSERT_TRUE(mail.ok);
    EXPECT_EQ(mail.subject, job.subject);
    EXPECT_EQ(mail.from, "rec@example.net");
    // The parser gives line breaks as "\n".
    EXPECT_EQ(mail.text, ".starts with a dot\nplain\n.\n..two dots\n" + std::string(700, 'x') +
                             "\n" + std::string(100, 'x') + ".after break\nend");
    ASSERT_EQ(mail.attachments.size(), 2u);
    EXPECT_EQ(mail.attachments[0].type, "audio/wav");
    EXPECT_EQ(mail.attachments[0].name, "take 1.wav");
    EXPECT_TRUE(mail.attachments[0].bytes == wav);
    EXPECT_EQ(mail.attachments[1].type, "audio/mpeg");
    EXPECT_TRUE(mail.attachments[1].bytes == mp3);
    EXPECT_DOUBLE_EQ(task.progress.back(), 0.95);
    EXPECT_EQ(task.statuses.front(), std::make_pair("Sending Email to " + job.to, 0));
}

TEST_F(RealSmtp, DirectDeliveryMakesOneConnectionPerRecipient) {
    ASSERT_TRUE(startServer());
    SmtpOptions options = fastOptions();
    std::vector<std::string> looked;
    const std::uint16_t port = m_server.port();
    options.mailExchangers = [&looked, port](std::string_view domain) {
        looked.emplace_back(domain);
        return std::vector<Endpoint>{{0x7F000001, closedPort()}, {0x7F000001, port}};
    };
    SmtpJob job;
    job.to = "ann@first.test,bob@second.test";
    job.body = "direct";
    test::RecordingTask task;
    ASSERT_EQ(SendSmtpMail(job, task, options), SendResult::Ok) << task.messages.front();
    EXPECT_EQ(looked, (std::vector<std::string>{"first.test", "second.test"}));
    const std::string first = stored(1, ".json");
    const std::string second = stored(2, ".json");
    EXPECT_THAT(first,
                testing::HasSubstr("\"from\": \"Sonaro@first.test\", \"to\": [\"ann@first.test\"], "
                                   "\"connection\": 1"));
    EXPECT_THAT(second, testing::HasSubstr("\"to\": [\"bob@second.test\"], \"connection\": 2"));

    // Recipients whose domain names a port go there without a DNS query.
    job.to = "carl@127.0.0.1:" + std::to_string(port) + ", dora@localhost:" + std::to_string(port);
    job.sender = "rec@example.net";
    ASSERT_EQ(SendSmtpMail(job, task, fastOptions()), SendResult::Ok);
    EXPECT_THAT(stored(3, ".json"),
                testing::HasSubstr("\"to\": [\"carl@127.0.0.1\"], \"connection\": 3"));
    EXPECT_THAT(stored(4, ".json"), testing::HasSubstr("\"connection\": 4"));
}

// A dialogue with the scripted server through a configured host, up to and including MAIL FROM.
class ScriptedSmtp : public ::testing::Test {
  protected:
    ScriptedSmtp() {
        job.to = "a@x.test";
        job.sender = "me@y.test";
        job.body = "text";
        job.host = "127.0.0.1:" + std::to_string(server.port());
        job.sendDirect = false;
        job.allowPlainPassword = true;
    }
    SendResult run() {
        server.start();
        return SendSmtpMail(job, task, fastOptions());
    }
    // The call failed with exactly `text` and the server saw every step.
    void expectFailure(std::string_view text) {
        EXPECT_EQ(run(), SendResult::Failed);
        EXPECT_EQ(task.messages, std::vector<std::string>{std::string(text)});
        EXPECT_EQ(server.finish(), "");
    }
    // A willing server's dialogue up to step `last` (0 the greeting, 1 HELO, 2 MAIL FROM, 3 RCPT
    // TO, 4 DATA, 5 the terminator), whose answer is `answer`.
    void scriptUpTo(int last, const std::string& answer) {
        const char* const commands[] = {"HELO testhost", "MAIL FROM:<me@y.test>",
                                        "RCPT TO:<a@x.test>", "DATA"};
        const char* const answers[] = {"220 hi", "250 ok", "250 ok", "251 forwarded", "354 go"};
        server.accept();
        for (int i = 0; i <= last; ++i) {
            if (i == 5) {
                server.receiveUntil("\r\n.\r\n");
            } else if (i > 0) {
                server.expect(commands[i - 1]);
            }
            server.send((i == last ? answer : std::string(answers[i])) + "\r\n");
        }
    }
    test::ScriptedServer server;
    SmtpJob job;
    test::RecordingTask task;
};

// Each step of the dialogue refused in turn, one connection each.
TEST_F(ScriptedSmtp, ARefusedStepFailsWithItsOwnWords) {
    const std::tuple<int, const char*, std::string_view> refusals[] = {
        {0, "554 go away", kNotResponding},
        {1, "501 who", "Mail host server error (HELO not accepted)"},
        {2, "550 no",
         "Mail host server error (MAIL FROM not accepted). Please check your Email Settings."},
        {4, "451 later", "Mail host server error (DATA not accepted)"},
        {5, "552 too big", "Mail host server error (data terminator not accepted)"}};
    for (const auto& [step, refusal, text] : refusals) {
        scriptUpTo(step, refusal);
        server.silentUntilClosed();
    }
    server.start();
    for (const auto& [step, refusal, text] : refusals) {
        SCOPED_TRACE(refusal);
        test::RecordingTask attempt;
        EXPECT_EQ(SendSmtpMail(job, attempt, fastOptions()), SendResult::Failed);
        EXPECT_EQ(attempt.messages, std::vector<std::string>{std::string(text)});
    }
    EXPECT_EQ(server.finish(), "");
}

TEST_F(ScriptedSmtp, EveryRecipientRefused) {
    job.to = "a@x.test, b@z.test";
    scriptUpTo(3, "550 no");
    server.expect("RCPT TO:<b@z.test>").send("550 no\r\n").silentUntilClosed();
    expectFailure(kRcptRefused);
}

TEST_F(ScriptedSmtp, AuthAnswered530AsksForEncryption) {
    job.user = "u";
    server.accept().send("220 hi\r\n").expect("EHLO testhost").send("250 ok\r\n");
    server.expect("AUTH LOGIN").send("530 must issue STARTTLS\r\n").silentUntilClosed();
    expectFailure(
        "Encryption required for requested Email server. Please check your Email Settings.");
}

TEST_F(ScriptedSmtp, Auth503RepeatsHelloAnd502GoesOnWithoutCredentials) {
    job.user = "u";
    job.password = "p";
    server.accept().send("220 hi\r\n").expect("EHLO testhost").send("250 ok\r\n");
    server.expect("AUTH LOGIN").send("503 say hello\r\n");
    server.expect("EHLO testhost").send("250 ok\r\n");
    server.expect("AUTH LOGIN").send("502 not here\r\n");
    server.expect("MAIL FROM:<me@y.test>").send("250 ok\r\n");
    server.expect("RCPT TO:<a@x.test>").send("250 ok\r\n");
    server.expect("DATA").send("354 go\r\n").receiveUntil("\r\n.\r\n").send("250 ok\r\n");
    server.expect("QUIT").send("221 bye\r\n");
    EXPECT_EQ(run(), SendResult::Ok);
    EXPECT_EQ(server.finish(), "");
}

TEST_F(ScriptedSmtp, RepliesSplitAcrossReceivesAndSenderFromTheHost) {
    job.sender.clear();
    job.to = "a@x.test\r\nRSET";
    server.accept().sendPieces({"220-first line\r\n22", "0-second\r", "\n220 last\r\n"});
    server.expect("HELO testhost").sendPieces({"250-", "PIPELINING\r\n250 ok\r\n"});
    server.expect("MAIL FROM:<Sonaro@127.0.0.1>").send("250 ok\r\n");
    server.expect("RCPT TO:<a@x.testRSET>").send("250 ok\r\n");
    server.expect("DATA").send("354 go\r\n").receiveUntil("\r\n.\r\n").send("250 ok\r\n");
    server.expect("QUIT").close();
    EXPECT_EQ(run(), SendResult::Ok);
    EXPECT_EQ(server.finish(), "");
    EXPECT_THAT(server.received(), testing::HasSubstr("To: a@x.testRSET\r\n"));
}

TEST_F(ScriptedSmtp, SilentServerFailsAfterTheBudget) {
    server.accept().silentUntilClosed();
    server.start();
    SmtpOptions options = fastOptions();
    options.replyMs = 600;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendSmtpMail(job, task, options), SendResult::Failed);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(550));
    EXPECT_EQ(task.messages, std::vector<std::string>{std::string(kNotResponding)});
    EXPECT_EQ(server.finish(), "");
}

TEST_F(ScriptedSmtp, StopWhileTheAttachmentIsStalledEndsWithoutTheTerminator) {
    const test::TempDir dir("stall");
    test::WriteTextFile(dir + "/big.wav", std::string(32 * 1024 * 1024, 'a'));
    job.attachments = {dir + "/big.wav"};
    scriptUpTo(4, "354 go");
    server.silentUntilClosed();
    task.stopAfter(500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(), SendResult::Stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500 + 200 + 500));
    EXPECT_TRUE(task.messages.empty());
    EXPECT_EQ(server.received().find("\r\n.\r\n"), std::string::npos);
}

TEST(SmtpAddresses, ConnectAndAddressFailuresNameTheServer) {
    const std::string dead = "127.0.0.1:" + std::to_string(closedPort());
    SmtpOptions options = fastOptions();
    options.mailExchangers = [](std::string_view) {
        return std::vector<Endpoint>{{0x7F000001, closedPort()}};
    };
    auto failure = [&options](SmtpJob job) {
        test::RecordingTask task;
        EXPECT_EQ(SendSmtpMail(job, task, options), SendResult::Failed);
        return task.messages.size() == 1 ? task.messages.front() : std::string("?");
    };
    SmtpJob job;
    EXPECT_EQ(failure(job), "No recipients listed to receive email.");
    job.to = " , ";
    EXPECT_EQ(failure(job), "No recipients listed to receive email.");
    job.to = "nobody";
    EXPECT_EQ(failure(job), "Invalid email address to send to");
    job.to = "a@x.test";
    EXPECT_EQ(failure(job), "Unable to connect to mail server \"x.test\".");
    job.host = dead;
    EXPECT_EQ(failure(job), "Unable to connect to either mail server \"" + dead +
                                "\" or the mail server at \"x.test\".");
    job.sendDirect = false;
    EXPECT_EQ(failure(job), "Unable to connect to mail server \"" + dead + "\".");
}

// Replies split across receives are driven through the client in ScriptedSmtp.
TEST(SmtpReply, MultiLineRepliesWithTrailingBytesAndOverlongLines) {
    SmtpReplyParser whole;
    EXPECT_TRUE(whole.feed("250-first\r\n250 second\r\nextra"));
    EXPECT_EQ(whole.code(), 250);
    SmtpReplyParser longLine;
    EXPECT_TRUE(longLine.feed("354 " + std::string(1000, 'x') + "\r\n"));
    EXPECT_EQ(longLine.code(), 354);
    SmtpReplyParser noCode;
    EXPECT_TRUE(noCode.feed("ok\n"));
    EXPECT_EQ(noCode.code(), 0);
}

// A DNS answer for "example.test" MX, built the way a name server sends it (name compression
// included).
class AnswerPacket {
  public:
    explicit AnswerPacket(int answers) {
        bytes = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, static_cast<std::uint8_t>(answers), 0, 0, 0, 0};
        name("example");
        name("test");
        bytes.push_back(0);
        u16(15);
        u16(1);
    }
    // One MX record owned by the question name; `target` is label bytes ending in a pointer or 0.
    void mx(std::uint16_t preference, const std::vector<std::uint8_t>& target) {
        u16(0xC00C);
        u16(15);
        u16(1);
        bytes.insert(bytes.end(), {0, 0, 0x0E, 0x10});
        u16(static_cast<std::uint16_t>(2 + target.size()));
        u16(preference);
        bytes.insert(bytes.end(), target.begin(), target.end());
    }
    static std::vector<std::uint8_t> labelThenQuestion(const std::string& label) {
        std::vector<std::uint8_t> out{static_cast<std::uint8_t>(label.size())};
        out.insert(out.end(), label.begin(), label.end());
        out.insert(out.end(), {0xC0, 0x0C});
        return out;
    }
    std::vector<std::uint8_t> bytes;

  private:
    void name(const std::string& label) {
        bytes.push_back(static_cast<std::uint8_t>(label.size()));
        bytes.insert(bytes.end(), label.begin(), label.end());
    }
    void u16(std::uint16_t value) {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
};

TEST(MxAnswer, RecordsComeOutInOrderOfPreferenceNotOfTheAnswer) {
    AnswerPacket packet(3);
    packet.mx(20, AnswerPacket::labelThenQuestion("mx2"));
    packet.mx(10, AnswerPacket::labelThenQuestion("mx1"));
    packet.mx(20, {6, 'b', 'a', 'c', 'k', 'u', 'p', 5, 'o', 't', 'h', 'e', 'r', 0});
    const std::vector<MxRecord> records = ParseMxAnswer(packet.bytes.data(), packet.bytes.size());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].host, "mx1.example.test");
    EXPECT_EQ(records[0].preference, 10);
    EXPECT_EQ(records[1].host, "mx2.example.test");
    EXPECT_EQ(records[2].host, "backup.other");
}

TEST(MxAnswer, TruncatedOrEmptyAnswersGiveWhatCouldBeRead) {
    AnswerPacket packet(2);
    packet.mx(5, AnswerPacket::labelThenQuestion("mx"));
    packet.mx(1, AnswerPacket::labelThenQuestion("cut"));
    std::vector<std::uint8_t> truncated(packet.bytes.begin(), packet.bytes.end() - 4);
    EXPECT_TRUE(ParseMxAnswer(truncated.data(), truncated.size()).empty() ||
                ParseMxAnswer(truncated.data(), truncated.size()).front().host ==
                    "mx.example.test");
    EXPECT_TRUE(ParseMxAnswer(packet.bytes.data(), 7).empty());
    AnswerPacket none(0);
    EXPECT_TRUE(ParseMxAnswer(none.bytes.data(), none.bytes.size()).empty());
}

// A dotted address has no MX records: the address itself on port 25.
TEST(MailExchanger, DottedAddressFallsBackToItself) {
    const Endpoint own = ResolveMailExchanger("127.0.0.3");
    EXPECT_EQ(own.address, 0x7F000003u);
    EXPECT_EQ(own.port, 25);
}

}  // namespace
}  // namespace sonaro
