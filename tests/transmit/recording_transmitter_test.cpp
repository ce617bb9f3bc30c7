#include "transmit/recording_transmitter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "settings/setting_names.h"
#include "support/parsed_mail.h"
#include "support/python_server.h"
#include "support/recording_task.h"
#include "support/temp_home.h"
#include "transmit/run_command.h"
#include "transmit_fixture.h"

namespace sonaro {
namespace {

class RecordingTransmitterTest : public test::TransmitTest {
  protected:
    RecordingTransmitterTest() {
        // The loopback test servers do not encrypt.
        m_settings.Write(setting::kFtpAllowPlainPassword, true);
        m_settings.Write(setting::kEmailAllowPlainPassword, true);
        std::filesystem::create_directories(m_dir + "/rec");
        test::WriteTextFile(m_recording, m_bytes);
    }

    RecordingTransmitter transmitter(int runBudgetMs = 3600000) {
        RecordingTransmitterParts parts{m_settings, &m_passwords, {}, {}, {}, runBudgetMs, {}};
        parts.ftp.connectMs = 3000;
        parts.ftp.replyMs = 5000;
        parts.mail.smtp.connectMs = 3000;
        return RecordingTransmitter(std::move(parts));
    }

    // A program that writes each argument it got, NUL-terminated, to `<dir>/args`.
    std::string argumentWriter(const std::string& folder) {
        std::filesystem::create_directories(folder);
        const std::string program = folder + "/write args";
        test::WriteTextFile(program,
                            "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        chmod(program.c_str(), 0755);
        return program;
    }

    const std::string m_bytes = test::RandomBytes(150000, 11);
    const std::string m_recording = m_dir + "/rec/it's a \"take\" 1.wav";
    test::RecordingTask m_task;
    std::string m_reason;
};

TEST_F(RecordingTransmitterTest, TheFolderGetsAnIdenticalCopyReplacingAnOlderOne) {
    const std::string folder = m_dir + "/backup";
    std::filesystem::create_directories(folder);
    test::WriteTextFile(folder + "/it's a \"take\" 1.wav", "older");
    m_settings.Write(setting::kSendFolderDir, folder + "/");
    EXPECT_EQ(transmitter().CopyRecordingToFolder(m_recording, m_reason), SendResult::Ok);
    EXPECT_TRUE(test::ReadTextFile(folder + "/it's a \"take\" 1.wav") == m_bytes);
    EXPECT_FALSE(exists(folder + "/it's a \"take\" 1.wav.part"));

    m_settings.Write(setting::kSendFolderDir, m_dir + "/rec");
    EXPECT_EQ(transmitter().CopyRecordingToFolder(m_recording, m_reason), SendResult::Ok)
        << "the recording is in that folder already";
    EXPECT_TRUE(test::ReadTextFile(m_recording) == m_bytes);
}

TEST_F(RecordingTransmitterTest, AFolderThatCannotTakeTheCopyFailsWithItsReason) {
    // A plain file where the folder should be: refused even for root.
    test::WriteTextFile(m_dir + "/not a folder", "x");
    m_settings.Write(setting::kSendFolderDir, m_dir + "/not a folder");
    EXPECT_EQ(transmitter().CopyRecordingToFolder(m_recording, m_reason), SendResult::Failed);
    EXPECT_THAT(m_reason, testing::HasSubstr("not a folder"));

    m_reason.clear();
    m_settings.Write(setting::kSendFolderDir, "");
    EXPECT_EQ(transmitter().CopyRecordingToFolder(m_recording, m_reason), SendResult::Failed)
        << "no folder is no licence to copy into the working folder";
    EXPECT_EQ(m_reason, "no folder is set");
}

TEST_F(RecordingTransmitterTest, TheProgramGetsThePathAsOneArgumentWithoutAShell) {
    const std::string program = argumentWriter(m_dir + "/my tools");
    m_settings.Write(setting::kSendRunExe, "\"" + program + "\" --file \"%s\" 100%");
    EXPECT_EQ(transmitter().RunProgramOnRecording(m_task, m_recording, m_reason), SendResult::Ok)
        << m_reason;
    EXPECT_EQ(
        test::ReadTextFile(m_dir + "/my tools/args"),
        std::string("--file\0", 7) + m_recording + std::string("\0", 1) + std::string("100%\0", 5));
}

TEST_F(RecordingTransmitterTest, AProgramThatCannotStartFailsOrEndsBadlyFails) {
    m_settings.Write(setting::kSendRunExe, "\"" + m_dir + "/no such program\" %s");
    EXPECT_EQ(transmitter().RunProgramOnRecording(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_THAT(m_reason, testing::HasSubstr("no such program"));

    m_reason.clear();
    m_settings.Write(setting::kSendRunExe, "sh -c 'exit 3' %s");
    EXPECT_EQ(transmitter().RunProgramOnRecording(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_EQ(m_reason, "sh ended with exit code 3");

    m_reason.clear();
    m_settings.Write(setting::kSendRunExe, "tool \"unclosed %s");
    EXPECT_EQ(transmitter().RunProgramOnRecording(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_EQ(m_reason, "a double quote is not closed");
}

TEST_F(RecordingTransmitterTest, TheWaitEndsAtAStopOrAtTheEndOfItsBudget) {
    m_settings.Write(setting::kSendRunExe, "sleep 30");
    EXPECT_EQ(transmitter(300).RunProgramOnRecording(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_EQ(m_reason, "sleep did not end within 300 ms");

    // The stop comes once the program runs (it leaves a mark), while the method waits for it.
    const std::string mark = m_dir + "/running";
    m_settings.Write(setting::kSendRunExe, "sh -c 'touch \"$0\"; exec sleep 30' \"" + mark + "\"");
    std::thread stopper([this, mark] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!exists(mark) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        m_task.stop();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(transmitter().RunProgramOnRecording(m_task, m_recording, m_reason),
              SendResult::Stopped);
    stopper.join();
    EXPECT_TRUE(exists(mark));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(RecordingTransmitterTest, EmailCarriesTheRecordingAndAFailureKeepsTheServersReason) {
    test::PythonServer server;
    std::filesystem::create_directories(m_dir + "/mail");
    ASSERT_TRUE(server.start({"smtp", m_dir + "/mail", "--auth", "rec:s3cret"}));
    m_settings.Write(setting::kUseMapi, false);
    m_settings.Write(setting::kUseSmtpHost, true);
    m_settings.Write(setting::kSendDirect, false);
    m_settings.Write(setting::kSmtpAuthOn, true);
    m_settings.Write(setting::kSmtpUserName, "rec");
    m_settings.Write(setting::kMailSmtpHost, "127.0.0.1:" + std::to_string(server.port()));
    m_settings.Write(setting::kEmailTo, "boss@office.example");
    m_settings.Write(setting::kReplyToEmail, "me@home.example");
    std::string problem;
    ASSERT_TRUE(StoreSmtpPassword(m_passwords, "s3cret", problem)) << problem;
    ASSERT_EQ(transmitter().SendRecordingByEmail(m_task, m_recording, m_reason), SendResult::Ok)
        << m_reason;
    EXPECT_THAT(test::ReadTextFile(m_dir + "/mail/1.json"),
                testing::HasSubstr("\"login\": \"rec\""));
    const test::ParsedMail mail = test::ParseStoredMail(m_dir + "/mail/1.eml");
    ASSERT_TRUE(mail.ok);
    EXPECT_EQ(mail.subject, "Sonaro Sound Recorder - Emailed Recording it's a \"take\" 1.wav");
    EXPECT_EQ(mail.from, "me@home.example");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_TRUE(mail.attachments[0].bytes == m_bytes);

    m_settings.Write(setting::kMailSmtpHost, "127.0.0.1:1");
    EXPECT_EQ(transmitter().SendRecordingByEmail(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_EQ(m_reason, "Unable to connect to mail server \"127.0.0.1:1\".");
}

TEST_F(RecordingTransmitterTest, FtpUploadsUnderTheRecordingsNameWithTheSealedPassword) {
    test::PythonServer server;
    std::filesystem::create_directories(m_dir + "/ftp/in");
    ASSERT_TRUE(server.start({"ftp", m_dir + "/ftp", "rec", "secret"}));
    m_settings.Write(setting::kFtpServer, "127.0.0.1:" + std::to_string(server.port()));
    m_settings.Write(setting::kFtpUserName, "rec");
    m_settings.Write(setting::kFtpDirectory, "/in");
    m_settings.WriteSettingString("Ftp", "Password", "wrong");
    EXPECT_EQ(transmitter().UploadRecordingByFtp(m_task, m_recording, m_reason),
              SendResult::Failed);
    EXPECT_FALSE(m_reason.empty());

    // The sealed password goes before the plain one.
    std::string problem;
    ASSERT_TRUE(StoreFtpPassword(m_passwords, "secret", problem)) << problem;
    m_settings.WriteSettingString("Ftp", "Password", "wrong");
    m_reason.clear();
    ASSERT_EQ(transmitter().UploadRecordingByFtp(m_task, m_recording, m_reason), SendResult::Ok)
        << m_reason;
    EXPECT_TRUE(test::ReadTextFile(m_dir + "/ftp/in/it's a \"take\" 1.wav") == m_bytes);
}

using Words = std::vector<std::string>;

TEST(RunCommandTest, SplitsLikeAShellWithoutExpanding) {
    std::string problem;
    EXPECT_EQ(SplitShellWords("  prog  a\tb ", problem), (Words{"prog", "a", "b"}));
    EXPECT_EQ(SplitShellWords(R"("/opt/my prog/run" 'it''s' x"y"z "")", problem),
              (Words{"/opt/my prog/run", "its", "xyz", ""}));
    EXPECT_EQ(SplitShellWords(R"('a "b" \n' "c \"d\" \\ \n $HOME" e\ f\'g)", problem),
              (Words{R"(a "b" \n)", R"(c "d" \ \n $HOME)", "e f'g"}));
    EXPECT_EQ(SplitShellWords("; rm -rf ~ && `x` | $(y)", problem),
              (Words{";", "rm", "-rf", "~", "&&", "`x`", "|", "$(y)"}))
        << "no shell ever reads the line";
    for (const char* broken : {"prog \"open", "prog 'open", "prog trailing\\"}) {
        problem.clear();
        EXPECT_EQ(SplitShellWords(broken, problem), std::nullopt) << broken;
        EXPECT_FALSE(problem.empty()) << broken;
    }
}

TEST(RunCommandTest, TheRecordingPathStaysOneArgumentWhateverItHolds) {
    const std::string path = R"(/rec/it's "a" take %d $(x) %s.wav)";
    std::string problem;
    EXPECT_EQ(BuildRunArguments(R"("/opt/my tool" --in="%s" -q)", path, problem),
              (Words{"/opt/my tool", "--in=" + path, "-q"}));
    EXPECT_EQ(BuildRunArguments("tool %s %s", path, problem), (Words{"tool", path, path}));
    EXPECT_EQ(BuildRunArguments("tool 100% %d %%s", path, problem),
              (Words{"tool", "100%", "%d", "%" + path}))
        << "other percent sequences are left as written, never read as arguments";
    EXPECT_EQ(BuildRunArguments("tool --version", path, problem), (Words{"tool", "--version"}));
    EXPECT_EQ(BuildRunArguments("   ", path, problem), std::nullopt);
    EXPECT_EQ(problem, "no program is given");
}

}  // namespace
}  // namespace sonaro
