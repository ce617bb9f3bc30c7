// Workers and what they report to the interface thread, events and child processes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/function_job.h"
#include "support/manual_dispatcher.h"
#include "threads/child_process.h"
#include "threads/progress_reporter.h"
#include "threads/queued_notifier.h"
#include "threads/wake_notifier.h"
#include "threads/worker_thread.h"

namespace sonaro {
namespace {

using namespace std::chrono_literals;

class ScriptedWorker final : public LWorkerThread {
  public:
    explicit ScriptedWorker(std::function<void(ScriptedWorker&)> body) : m_body(std::move(body)) {}
    ~ScriptedWorker() override { Stop(); }

    std::atomic<int> runs{0};

  protected:
    void Run() override {
        ++runs;
        m_body(*this);
    }

  private:
    std::function<void(ScriptedWorker&)> m_body;
};

void waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
}

TEST(WorkerThread, StartRunsOnceWhileRunningAndAgainAfterTheBodyReturned) {
    Event release;
    ScriptedWorker worker(
        [&](ScriptedWorker& self) { self.WaitForHandleOrStop(release.handle(), -1); });
    worker.Start();
    worker.Start();
    waitUntil([&] { return worker.runs.load() == 1; });
    EXPECT_TRUE(worker.IsRunning());
    worker.Start();
    EXPECT_EQ(worker.runs.load(), 1);

    release.set();
    waitUntil([&] { return !worker.IsRunning(); });
    ASSERT_FALSE(worker.IsRunning());
    release.reset();
    worker.Start();
    waitUntil([&] { return worker.runs.load() == 2; });
    EXPECT_EQ(worker.runs.load(), 2);
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThread, StopOnAnIdleWorkerReturnsAndStopWakesABlockedBody) {
    std::atomic<WaitResult> result{WaitResult::Signalled};
    ScriptedWorker worker([&](ScriptedWorker& self) {
        Event never;
        result = self.WaitForHandleOrStop(never.handle(), -1);
    });
    worker.Stop();
    worker.Start();
    waitUntil([&] { return worker.runs.load() == 1; });
    worker.Stop();
    EXPECT_EQ(result.load(), WaitResult::Stopped);
    EXPECT_FALSE(worker.IsRunning());

    // A new start clears the stop request of the previous run.
    worker.Start();
    waitUntil([&] { return worker.runs.load() == 2; });
    EXPECT_FALSE(worker.IsStopRequested());
}

TEST(WorkerThread, HandleWaitsReportHandleStopAndTimeout) {
    ScriptedWorker worker([](ScriptedWorker&) {});
    HandleSet none;
    EXPECT_EQ(worker.WaitForHandlesOrStop(none, 10), WaitResult::TimedOut);
    EXPECT_FALSE(worker.WaitStop(0));

    Event first;
    Event second;
    HandleSet two;
    ASSERT_TRUE(two.add(first.handle()));
    ASSERT_TRUE(two.add(second.handle()));
    second.set();
    EXPECT_EQ(worker.WaitForHandlesOrStop(two, 0), WaitResult::Signalled);
    EXPECT_EQ(worker.WaitForHandleOrStop(first.handle(), 0), WaitResult::TimedOut);

    HandleSet full;
    for (int i = 0; i < HandleSet::kMaxHandles; ++i) {
        ASSERT_TRUE(full.add(first.handle()));
    }
    EXPECT_FALSE(full.add(first.handle()));
}

TEST(Event, StaysSetUntilReset) {
    Event event;
    EXPECT_FALSE(event.isSet());
    event.set();
    event.set();
    EXPECT_TRUE(event.isSet());
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.isSet()) << "a wait does not consume a manual-reset event";
    event.reset();
    EXPECT_FALSE(event.wait(5));
    Event initially(true);
    EXPECT_TRUE(initially.isSet());
}

TEST(ThreadPriority, LoweringIsAlwaysPermittedAndReadsBack) {
    std::atomic<ThreadPriority> seen{ThreadPriority::Normal};
    std::atomic<bool> read{false};
    ScriptedWorker worker([&](ScriptedWorker&) {
        seen = ReadThreadPriority(CurrentThreadId());
        read = true;
    });
    worker.Start(ThreadPriority::Lowest);
    // Stop lends the worker our priority, so the body must have read its own first.
    waitUntil([&] { return read.load(); });
    worker.Stop();
    EXPECT_EQ(seen.load(), ThreadPriority::Lowest);
}

SpawnOptions options(std::vector<std::string> argv, std::vector<std::string> environment,
                     bool pipeStdin, bool pipeStdout) {
    SpawnOptions result;
    result.argv = std::move(argv);
    result.extraEnvironment = std::move(environment);
    result.pipeStdin = pipeStdin;
    result.pipeStdout = pipeStdout;
    return result;
}

// Arguments reach the program verbatim without a shell; the extra environment is the child's only.
TEST(ChildProcess, ArgumentsAndEnvironmentReachTheProgramVerbatim) {
    ASSERT_EQ(std::getenv("LQUIET"), nullptr);
    ChildProcess child;
    ASSERT_TRUE(child.start(options(
        {"sh", "-c", "printf '[%s]' \"$@\" \"$LQUIET\"", "sh", "a b; echo injected", "$HOME"},
        {"LQUIET=1"}, false, true)))
        << child.errorText();
    EXPECT_EQ(child.readAllOutput(), "[a b; echo injected][$HOME][1]");
    EXPECT_EQ(child.wait(5000), 0);
    EXPECT_EQ(std::getenv("LQUIET"), nullptr);
}

TEST(ChildProcess, InputIsPipedAndExitCodesAndSignalsAreReported) {
    ChildProcess child;
    ASSERT_TRUE(
        child.start(options({"sh", "-c", "c=$(wc -c); exit $((c % 256))"}, {}, true, false)));
    ASSERT_TRUE(child.writeInput(std::string(70000, 'x')));
    child.closeInput();
    EXPECT_EQ(child.wait(5000), 70000 % 256);

    ChildProcess killed;
    ASSERT_TRUE(killed.start(options({"sh", "-c", "kill -TERM $$"}, {}, false, false)));
    EXPECT_EQ(killed.wait(5000), 128 + SIGTERM);
}

TEST(ChildProcess, WritingToAChildThatClosedItsInputFailsWithoutSigpipe) {
    ChildProcess child;
    ASSERT_TRUE(child.start(options({"true"}, {}, true, false)));
    ASSERT_EQ(child.wait(5000), 0);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        failed = !child.writeInput(std::string(65536, 'x'));
    }
    EXPECT_TRUE(failed);
    EXPECT_THAT(child.errorText(), testing::HasSubstr("closed its input"));
}

TEST(ChildProcess, TimedWaitAndDestructionLeaveNoZombie) {
    int pid = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(child.start(options({"sleep", "30"}, {}, false, false)));
        pid = child.pid();
        EXPECT_FALSE(child.wait(50).has_value());
        EXPECT_TRUE(child.running());
    }
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << "the child was reaped by its owner";
}

TEST(ChildProcess, WaitOrWakeEndsAtTheChildsEndOrTheWakeHandle) {
    Event wake;
    ChildProcess quick;
    ASSERT_TRUE(quick.start(options({"sh", "-c", "exit 4"}, {}, false, false)));
    EXPECT_EQ(quick.waitOrWake(5000, wake.handle()), 4);
    EXPECT_FALSE(quick.running());

    ChildProcess slow;
    ASSERT_TRUE(slow.start(options({"sleep", "30"}, {}, false, false)));
    EXPECT_FALSE(slow.waitOrWake(20, wake.handle()).has_value()) << "time-out";
    wake.set();
    EXPECT_FALSE(slow.waitOrWake(-1, wake.handle()).has_value());
    EXPECT_TRUE(slow.running());
}

TEST(ChildProcess, MissingProgramsAreReportedByName) {
    ChildProcess child;
    EXPECT_FALSE(child.start(options({"/nonexistent/program"}, {}, false, false)));
    EXPECT_THAT(child.errorText(), testing::HasSubstr("/nonexistent/program"));
    EXPECT_EQ(FindProgramOnPath("sh").empty(), false);
    EXPECT_EQ(FindProgramOnPath("no-such-program-here"), "");
    EXPECT_EQ(FindProgramOnPath(""), "");
}

struct CountingOwner : ThreadNotifyOwner {
    int calls = 0;
    void OnThreadNotify() override { ++calls; }
};

TEST(WakeNotifier, PostsCoalesceUntilTheOwnerRunsWhileTheNotifierLives) {
    test::ManualDispatcher dispatcher;
    CountingOwner owner;
    ThreadWakeNotifier notifier(dispatcher, owner);
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            notifier.notify();
        }
    });
    worker.join();
    EXPECT_EQ(dispatcher.pending(), 1u);
    dispatcher.pump();
    EXPECT_EQ(owner.calls, 1);

    notifier.notify();
    dispatcher.pump();
    EXPECT_EQ(owner.calls, 2) << "a notify after the owner ran wakes it again";

    {
        ThreadWakeNotifier gone(dispatcher, owner);
        gone.notify();
    }
    dispatcher.pump();
    EXPECT_EQ(owner.calls, 2) << "no call reaches the owner after the notifier is gone";
}

struct RecordingHandler : QueuedNotifyHandler {
    std::vector<std::string> seen;
    void OnQueuedNotify(int code, std::string_view data, std::uint32_t value) override {
        seen.push_back(std::to_string(code) + ":" + std::string(data) + ":" +
                       std::to_string(value));
    }
};

TEST(QueuedNotifier, DeliversEachPostOnceInOrderUntilDestroyed) {
    test::ManualDispatcher dispatcher;
    RecordingHandler handler;
    QueuedNotifier notifier(dispatcher, handler);
    RecordingHandler otherHandler;
    QueuedNotifier other(dispatcher, otherHandler);
    notifier.PostCode(1, 10);
    other.PostCode(9, 9);
    notifier.PostData(2, "abc");
    notifier.PostCode(3, 30);
    dispatcher.pump();
    EXPECT_EQ(handler.seen, (std::vector<std::string>{"1::10", "2:abc:3", "3::30"}));
    EXPECT_EQ(otherHandler.seen, (std::vector<std::string>{"9::9"}));
    dispatcher.pump();
    EXPECT_EQ(handler.seen.size(), 3u);

    // Destroy drops undelivered posts without calling the handler.
    notifier.PostData(1, std::string(100000, 'x'));
    notifier.PostCode(2, 2);
    notifier.Destroy();
    EXPECT_FALSE(notifier.exists());
    notifier.PostCode(3, 3);
    dispatcher.pump();
    EXPECT_EQ(handler.seen.size(), 3u);
}

struct RecordingListener : ProgressListener {
    std::vector<std::string> messages;
    std::vector<std::string> statuses;
    std::vector<double> progress;
    bool IsCancelRequested() const override { return false; }
    void OnMessage(std::string_view text) override { messages.emplace_back(text); }
    void OnStatus(std::string_view text, int kind) override {
        statuses.push_back(std::to_string(kind) + ":" + std::string(text));
    }
    void OnProgress(double fraction) override { progress.push_back(fraction); }
};

class ProgressReporter : public ::testing::Test {
  protected:
    ProgressReporter() { m_job.SetListener(&m_listener); }

    test::ManualDispatcher m_dispatcher;
    RecordingListener m_listener;
    FunctionJob m_job{m_dispatcher, [](LProgressReporter&) {}};
};

TEST_F(ProgressReporter, ProgressIsTruncatedToWholePercents) {
    m_job.ReportProgress(0.5);
    m_job.ReportProgress(0.999);
    m_job.ReportProgress(-0.2);
    m_job.ReportProgress(7.0);
    m_dispatcher.pump();
    EXPECT_EQ(m_listener.progress, (std::vector<double>{0.5, 0.99, 0.0, 1.0}));
}

TEST_F(ProgressReporter, ASecondMessageBeforeTheFirstIsShownIsDropped) {
    m_job.ReportMessage("first");
    m_job.ReportMessage("second");
    m_dispatcher.pump();
    m_job.ReportMessage("third");
    m_dispatcher.pump();
    EXPECT_EQ(m_listener.messages, (std::vector<std::string>{"first", "third"}));
}

TEST_F(ProgressReporter, StatusShowsTheLatestTextOfItsKind) {
    m_job.ReportStatus("a1", 0);
    m_job.ReportStatus("b1", 1);
    m_job.ReportStatus("a2", 0);
    m_job.ReportStatus("ignored", 2);
    m_job.ReportStatus(std::string(400, 'L'), 1);
    m_dispatcher.pump();
    EXPECT_EQ(m_listener.statuses,
              (std::vector<std::string>{"0:a2", "1:" + std::string(259, 'L'), "0:a2",
                                        "1:" + std::string(259, 'L')}));
}

TEST_F(ProgressReporter, WithoutAListenerReportsGoNowhere) {
    m_job.SetListener(nullptr);
    m_job.ReportMessage("lost");
    m_job.ReportProgress(0.3);
    m_dispatcher.pump();
    EXPECT_TRUE(m_listener.messages.empty());
    EXPECT_TRUE(m_listener.progress.empty());
}

}  // namespace
}  // namespace sonaro
