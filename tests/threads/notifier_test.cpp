#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/manual_dispatcher.h"
#include "threads/progress_reporter.h"
#include "threads/queued_notifier.h"
#include "threads/wake_notifier.h"

namespace sonaro {
namespace {

struct CountingOwner : ThreadNotifyOwner {
    int calls = 0;
    void OnThreadNotify() override { ++calls; }
};

TEST(WakeNotifier, PostsCoalesceUntilTheOwnerRuns) {
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
}

TEST(WakeNotifier, NoCallReachesAnOwnerAfterTheNotifierIsGone) {
    test::ManualDispatcher dispatcher;
    CountingOwner owner;
    {
        ThreadWakeNotifier notifier(dispatcher, owner);
        notifier.notify();
    }
    dispatcher.pump();
    EXPECT_EQ(owner.calls, 0);
}

struct RecordingHandler : QueuedNotifyHandler {
    std::vector<std::string> seen;
    void OnQueuedNotify(int code, std::string_view data, std::uint32_t value) override {
        seen.push_back(std::to_string(code) + ":" + std::string(data) + ":" +
                       std::to_string(value));
    }
};

TEST(QueuedNotifier, DeliversEachPostOnceInOrder) {
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
}

TEST(QueuedNotifier, DestroyDropsUndeliveredPostsWithoutCallingTheHandler) {
    test::ManualDispatcher dispatcher;
    RecordingHandler handler;
    QueuedNotifier notifier(dispatcher, handler);
    notifier.PostData(1, std::string(100000, 'x'));
    notifier.PostCode(2, 2);
    notifier.Destroy();
    EXPECT_FALSE(notifier.exists());
    notifier.PostCode(3, 3);
    dispatcher.pump();
    EXPECT_TRUE(handler.seen.empty());
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

class Job final : public LProgressReporter {
  public:
    using LProgressReporter::LProgressReporter;
    ~Job() override { Stop(); }

  protected:
    void Run() override {}
};

class ProgressReporter : public ::testing::Test {
  protected:
    ProgressReporter() { m_job.SetListener(&m_listener); }

    test::ManualDispatcher m_dispatcher;
    RecordingListener m_listener;
    Job m_job{m_dispatcher};
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
