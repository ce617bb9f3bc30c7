#include "transmit/background_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>

#include "settings/setting_names.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/worker_prompter.h"
#include "threads/event.h"
#include "transmit/transmit_methods.h"
#include "transmit_fixture.h"

namespace sonaro {
namespace {

// Methods that keep each call and answer from a script; a method that is held waits, like a
// slow server, until released or stopped.
class ScriptedMethods final : public TransmitMethods {
  public:
    SendResult SendRecordingByEmail(NetTask& task, const std::string& path,
                                    std::string& reason) override {
        return call("email", &task, path, reason);
    }
    SendResult UploadRecordingByFtp(NetTask& task, const std::string& path,
                                    std::string& reason) override {
        return call("ftp", &task, path, reason);
    }
    SendResult CopyRecordingToFolder(const std::string& path, std::string& reason) override {
        return call("folder", nullptr, path, reason);
    }
    SendResult RunProgramOnRecording(NetTask& task, const std::string& path,
                                     std::string& reason) override {
        return call("program", &task, path, reason);
    }

    void fail(const std::string& method) { m_failing = method; }
    // `method` waits for release() (or the task's stop) before it answers.
    void hold(const std::string& method) { m_held = method; }
    void release() { m_release.set(); }
    std::vector<std::string> calls() const {
        std::lock_guard lock(m_lock);
        return m_calls;
    }
    Event entered;

  private:
    SendResult call(const std::string& method, NetTask* task, const std::string& path,
                    std::string& reason) {
        {
            std::lock_guard lock(m_lock);
            m_calls.push_back(method + " " + path);
        }
        if (method == m_held) {
            entered.set();
            const WaitHandle handles[2] = {m_release.handle(),
                                           task != nullptr ? task->stopHandle() : -1};
            if (WaitForAnyHandle(handles, 2, 20000) != 0) {
                return SendResult::Stopped;
            }
        }
        if (method == m_failing) {
            reason = "scripted refusal";
            return SendResult::Failed;
        }
        return SendResult::Ok;
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    std::string m_failing;
    std::string m_held;
    Event m_release;
};

class BackgroundSenderTest : public test::TransmitTest {
  protected:
    BackgroundSenderTest() {
        m_settings.Write(setting::kPromptTransmit, false);
        m_sender.SetListener(&m_listener);
    }
    ~BackgroundSenderTest() override { m_sender.Shutdown(); }

    void enableAll() {
        for (const BoolSetting* method : {&setting::kSendEmail, &setting::kSendFtp,
                                          &setting::kSendFolder, &setting::kSendRun}) {
            m_settings.Write(*method, true);
        }
    }
    // Pumps the user-interface thread until `done`, then what that posted.
    bool pumpUntil(const std::function<bool()>& done) {
        const bool reached = m_dispatcher.pumpUntil(done, 20000);
        m_dispatcher.pump();
        return reached;
    }
    bool pumpUntilIdle() {
        return pumpUntil([this] { return !m_sender.IsRunning(); });
    }

    test::ManualDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
    WorkerPrompter m_questions{m_prompter, m_dispatcher};
    ScriptedMethods m_methods;
    test::ProgressLog m_listener;
    BackgroundSender m_sender{
        {m_dispatcher, m_settings, m_methods, m_questions, &m_log, m_queuePath}};
};

TEST_F(BackgroundSenderTest, WithoutMethodsARecordingIsStillQueuedPassedAndRemoved) {
    m_sender.EnqueueRecording("/rec/a.wav");
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_TRUE(m_methods.calls().empty());
    EXPECT_TRUE(exists(m_queuePath));
    EXPECT_EQ(queueOnDisk(), "");
    ASSERT_GE(m_listener.progress.size(), 2u);
    EXPECT_DOUBLE_EQ(m_listener.progress[m_listener.progress.size() - 2], 1.0);
    EXPECT_DOUBLE_EQ(m_listener.progress.back(), 0.0);
}

TEST_F(BackgroundSenderTest, RecordingsAreSentInOrderByOneThreadWithProgressOverAll) {
    enableAll();
    m_methods.hold("email");
    m_sender.EnqueueRecording("/rec/1.wav");
    ASSERT_TRUE(m_methods.entered.wait(20000));
    m_sender.EnqueueRecording("/rec/2.wav");
    m_sender.EnqueueRecording("/rec/3.wav");
    m_methods.hold("");
    m_methods.release();
    ASSERT_TRUE(pumpUntilIdle());
    std::vector<std::string> expected;
    for (const char* path : {"/rec/1.wav", "/rec/2.wav", "/rec/3.wav"}) {
        for (const char* method : {"email", "ftp", "folder", "program"}) {
            expected.push_back(std::string(method) + " " + path);
        }
    }
    EXPECT_EQ(m_methods.calls(), expected);
    for (const double third : {0.33, 0.66, 1.0}) {
        EXPECT_NE(std::find_if(m_listener.progress.begin(), m_listener.progress.end(),
                               [third](double p) { return std::abs(p - third) < 0.011; }),
                  m_listener.progress.end())
            << third;
    }
    EXPECT_EQ(queueOnDisk(), "");
}

TEST_F(BackgroundSenderTest, ACancelledQuestionSkipsOnlyItsMethod) {
    enableAll();
    m_settings.Write(setting::kPromptTransmit, true);
    m_settings.Write(setting::kEmailTo, "boss@office.example");
    m_settings.Write(setting::kFtpServer, "ftp.example");
    m_settings.Write(setting::kSendFolderDir, "/backup");
    m_settings.Write(setting::kSendRunExe, "tool %s");
    m_prompter.answer(PromptAnswer::Cancel);
    m_sender.EnqueueRecording("/rec/a.wav");
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(m_methods.calls(), (std::vector<std::string>{"ftp /rec/a.wav", "folder /rec/a.wav",
                                                           "program /rec/a.wav"}));
    const std::pair<const char*, const char*> questions[] = {
        {"Send via email?",
         "You have the send via email transmit option enabled. Would you like to send this "
         "recording to \"boss@office.example\"?"},
        {"Upload via FTP?",
         "You have the send via FTP transmit option enabled. Would you like to upload this "
         "recording to \"ftp.example\"?"},
        {"Send to folder?",
         "You have the send to folder transmit option enabled. Would you like this recording sent "
         "to \"/backup\"?"},
        {"Run program?",
         "You have the run executable transmit option enabled. Would you like to run \"tool %s\" "
         "with this recording as a command-line argument?"}};
    const auto& shown = m_prompter.shown();
    ASSERT_EQ(shown.size(), std::size(questions));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].title, questions[i].first);
        EXPECT_EQ(shown[i].text, questions[i].second);
        EXPECT_EQ(shown[i].buttons, PromptButtons::OkCancel);
        EXPECT_EQ(shown[i].icon, PromptIcon::Question);
    }
}

TEST_F(BackgroundSenderTest, AFailedMethodIsReportedAndLoggedAndTheOthersStillRun) {
    m_settings.Write(setting::kSendEmail, true);
    m_settings.Write(setting::kSendFolder, true);
    m_methods.fail("email");
    m_sender.EnqueueRecording("/rec/take 7.wav");
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(m_methods.calls(),
              (std::vector<std::string>{"email /rec/take 7.wav", "folder /rec/take 7.wav"}));
    const std::string failure =
        "Cannot send the file \"take 7.wav\" to email. Please check the email settings in "
        "Options->Transmit again.";
    EXPECT_EQ(m_listener.messages, std::vector<std::string>{failure});
    EXPECT_THAT(logText(), testing::HasSubstr("Transmit failed for /rec/take 7.wav: " + failure +
                                              " (scripted refusal)"));
    EXPECT_EQ(queueOnDisk(), "");
}

TEST_F(BackgroundSenderTest, StartUpResumesTheQueueCountsTheAttemptAndSendsIt) {
    m_settings.Write(setting::kSendFolder, true);
    m_methods.hold("folder");
    writeQueue(queueBytes({"/rec/left 1.wav", "/rec/left 2.wav"}, 1));
    m_sender.ResumeQueueAtStartup(m_queuePath);
    ASSERT_TRUE(m_methods.entered.wait(20000));
    EXPECT_EQ(queueOnDisk().substr(0, 8), queueBytes({}, 2));
    m_methods.release();
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(m_methods.calls(),
              (std::vector<std::string>{"folder /rec/left 1.wav", "folder /rec/left 2.wav"}));

    writeQueue(queueBytes({"/rec/late 1.wav", "/rec/late 2.wav"}, 2));
    m_sender.ResumeQueueAtStartup(m_queuePath);
    EXPECT_FALSE(exists(m_queuePath));
    for (const char* path : {"/rec/late 1.wav", "/rec/late 2.wav"}) {
        EXPECT_THAT(
            logText(),
            testing::HasSubstr("Recording not sent (start-up attempts 2 exceed the allowed 1): " +
                               std::string(path)));
    }
}

TEST_F(BackgroundSenderTest, AStopBeforeTheStartUpResumeKeepsTheQueue) {
    m_settings.Write(setting::kSendFtp, true);
    m_methods.hold("ftp");
    m_sender.EnqueueRecording("/rec/a.wav");
    m_sender.EnqueueRecording("/rec/b.wav");
    ASSERT_TRUE(m_methods.entered.wait(20000));
    m_sender.Stop();
    EXPECT_EQ(queueOnDisk(), queueBytes({"/rec/a.wav", "/rec/b.wav"}));
}

TEST_F(BackgroundSenderTest, ClosingWhileARecordingIsSentDropsTheQueueAndNamesEveryRecording) {
    m_settings.Write(setting::kSendFtp, true);
    m_sender.ResumeQueueAtStartup(m_queuePath);
    m_methods.hold("ftp");
    m_sender.EnqueueRecording("/rec/a.wav");
    m_sender.EnqueueRecording("/rec/b.wav");
    ASSERT_TRUE(m_methods.entered.wait(20000));
    m_sender.Shutdown();
    EXPECT_FALSE(exists(m_queuePath));
    for (const char* path : {"/rec/a.wav", "/rec/b.wav"}) {
        EXPECT_THAT(
            logText(),
            testing::HasSubstr(std::string("Recording not sent (the send was stopped): ") + path))
            << path;
    }
}

TEST_F(BackgroundSenderTest, TeardownDuringAnUnansweredQuestionNeitherHangsNorShowsItLater) {
    m_settings.Write(setting::kSendEmail, true);
    m_settings.Write(setting::kPromptTransmit, true);
    m_sender.ResumeQueueAtStartup(m_queuePath);
    m_sender.EnqueueRecording("/rec/a.wav");
    // The question waits for the user-interface thread, which is not pumped.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_dispatcher.pending() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GT(m_dispatcher.pending(), 0u);
    // The window's teardown runs on the user-interface thread, which therefore shows nothing.
    m_sender.Shutdown();
    m_dispatcher.pump();
    EXPECT_TRUE(m_prompter.shown().empty());
    EXPECT_TRUE(m_methods.calls().empty());
    EXPECT_THAT(logText(),
                testing::HasSubstr("Recording not sent (the send was stopped): /rec/a.wav"));
}

TEST_F(BackgroundSenderTest, TheStatusBarsCancelStopsTheSender) {
    m_settings.Write(setting::kSendEmail, true);
    m_settings.Write(setting::kSendFolder, true);
    m_sender.EnqueueRecording("/rec/a.wav");
    m_listener.cancel = true;
    EXPECT_TRUE(m_sender.IsStopRequested());
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_LE(m_methods.calls().size(), 1u) << "folder is never reached once cancelled";
    EXPECT_EQ(queueOnDisk(), queueBytes({"/rec/a.wav"})) << "nothing was sent";
}

// Recordings finished while the thread is just leaving (queue found empty) are sent by a new
// thread, never stranded.
TEST_F(BackgroundSenderTest, EnqueuesRacingTheThreadsEndAreAllSent) {
    m_settings.Write(setting::kSendFolder, true);
    std::vector<std::string> expected;
    for (int i = 0; i < 60; ++i) {
        const std::string path = "/rec/" + std::to_string(i) + ".wav";
        m_sender.EnqueueRecording(path);
        expected.push_back("folder " + path);
        if (i % 3 == 0) {
            m_dispatcher.pump();
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return m_methods.calls().size() == expected.size(); }));
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(m_methods.calls(), expected);
    EXPECT_EQ(queueOnDisk(), "");
}

}  // namespace
}  // namespace sonaro
