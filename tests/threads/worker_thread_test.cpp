#include "threads/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>

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

}  // namespace
}  // namespace sonaro
