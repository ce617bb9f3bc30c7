#include "support/worker_prompter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "threads/worker_thread.h"

namespace sonaro {
namespace {

// A worker that asks one question and keeps the answer; `cancelled` plays a listener's cancel.
class AskingWorker final : public LWorkerThread {
  public:
    explicit AskingWorker(WorkerPrompter& prompter) : m_prompter(prompter) {}
    ~AskingWorker() override { Stop(); }

    bool IsStopRequested() const override {
        return cancelled.load() || LWorkerThread::IsStopRequested();
    }

    std::atomic<bool> cancelled{false};
    std::atomic<bool> answered{false};
    PromptAnswer answer = PromptAnswer::No;

  protected:
    void Run() override {
        answer = m_prompter.Ask(
            {"Go on?", "Question", PromptButtons::OkCancel, PromptIcon::Question, PromptAnswer::Ok},
            *this, PromptAnswer::Cancel);
        answered = true;
    }

  private:
    WorkerPrompter& m_prompter;
};

class WorkerPrompterTest : public testing::Test {
  protected:
    // Waits (without pumping) until the question was posted to the interface thread.
    bool waitForPost() {
        return waitUntil([this] { return m_dispatcher.pending() > 0; });
    }
    static bool waitUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return done();
    }

    test::ManualDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
    WorkerPrompter m_questions{m_prompter, m_dispatcher};
    AskingWorker m_worker{m_questions};
};

TEST_F(WorkerPrompterTest, TheBoxShowsOnTheInterfaceThreadAndItsAnswerReachesTheWorker) {
    m_prompter.answer(PromptAnswer::Cancel);
    m_worker.Start();
    ASSERT_TRUE(waitForPost());
    EXPECT_TRUE(m_prompter.shown().empty()) << "nothing is shown from the worker's thread";
    m_dispatcher.pump();
    m_worker.Stop();
    ASSERT_TRUE(m_worker.answered.load());
    EXPECT_EQ(m_worker.answer, PromptAnswer::Cancel);
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].text, "Go on?");
    EXPECT_EQ(m_prompter.shown()[0].title, "Question");
}

TEST_F(WorkerPrompterTest, ACancelSeenOnlyThroughIsStopRequestedEndsTheWaitToo) {
    m_worker.Start();
    ASSERT_TRUE(waitForPost());
    m_worker.cancelled = true;
    EXPECT_TRUE(waitUntil([this] { return m_worker.answered.load(); }));
    EXPECT_EQ(m_worker.answer, PromptAnswer::Cancel);
    m_dispatcher.pump();
    EXPECT_TRUE(m_prompter.shown().empty());
}

}  // namespace
}  // namespace sonaro
