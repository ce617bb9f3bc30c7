#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/forward_block.h"

namespace sonaro {
namespace {

class CountingLock : public StartupLock {
  public:
    bool available = true;
    int held = 0;
    bool Acquire(int budgetMs) override {
        EXPECT_EQ(budgetMs, 20000);
        held += available ? 1 : 0;
        return available;
    }
    void Release() override { --held; }
};

// Answers each forward with the next scripted result and keeps what was sent.
class ScriptedChannel : public InstanceChannel {
  public:
    std::deque<ForwardResult> results;
    std::vector<std::vector<std::string>> sent;
    ForwardResult Forward(std::span<const char> block, int) override {
        sent.push_back(*ParseForwardBlock(block));
        const ForwardResult result = results.front();
        if (results.size() > 1) {
            results.pop_front();
        }
        return result;
    }
};

struct Fixture {
    CountingLock lock;
    ScriptedChannel channel;
    std::FILE* errors = std::tmpfile();
    ~Fixture() { std::fclose(errors); }
};

TEST(SingleInstance, ForwardsToARunningInstanceAndReleasesTheLock) {
    Fixture f;
    f.channel.results = {ForwardResult::Delivered};
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro", "-hide"}), StartRole::Forwarded);
    EXPECT_EQ(f.lock.held, 0);
    ASSERT_EQ(f.channel.sent.size(), 1u);
    EXPECT_EQ(f.channel.sent[0], (std::vector<std::string>{"sonaro", "-hide"}));
}

TEST(SingleInstance, FirstInstanceKeepsTheLockUntilItIsReady) {
    Fixture f;
    f.channel.results = {ForwardResult::NoInstance};
    {
        SingleInstance instance(f.lock, f.channel, f.errors);
        EXPECT_EQ(instance.Start({"sonaro"}), StartRole::First);
        EXPECT_EQ(f.lock.held, 1);
        instance.ReleaseStartupLock();
        EXPECT_EQ(f.lock.held, 0);
    }
    EXPECT_EQ(f.lock.held, 0);
}

TEST(SingleInstance, AStartWaitsOutAnEndingInstanceAndTakesOver) {
    Fixture f;
    f.channel.results = {ForwardResult::Closed, ForwardResult::Closed, ForwardResult::NoInstance};
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro"}), StartRole::First);
    EXPECT_EQ(f.channel.sent.size(), 3u);
}

TEST(SingleInstance, AnInstanceThatNeverAnswersFailsTheStartVisibly) {
    Fixture f;
    f.channel.results = {ForwardResult::TimedOut};
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro", "-record"}), StartRole::ForwardFailed);
    EXPECT_EQ(f.lock.held, 0);
    EXPECT_GT(std::ftell(f.errors), 0);
}

TEST(SingleInstance, GoesOnWhenTheLockCannotBeHad) {
    Fixture f;
    f.lock.available = false;
    f.channel.results = {ForwardResult::Delivered};
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro"}), StartRole::Forwarded);
    EXPECT_EQ(f.lock.held, 0);
}

}  // namespace
}  // namespace sonaro
