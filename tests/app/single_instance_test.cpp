#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>

#include "app/forward_block.h"
#include "support/temp_home.h"

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

    std::string errorText() {
        std::fflush(errors);
        std::rewind(errors);
        char buffer[1024] = {};
        return std::string(buffer, std::fread(buffer, 1, sizeof buffer - 1, errors));
    }
};

// Works in `path` for the life of the object.
class WorkingIn {
  public:
    explicit WorkingIn(const std::string& path) : m_saved(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingIn() { std::filesystem::current_path(m_saved); }

  private:
    std::filesystem::path m_saved;
};

TEST(SingleInstance, ForwardsToARunningInstanceAndReleasesTheLock) {
    Fixture f;
    f.channel.results = {ForwardResult::Delivered};
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro", "-hide"}), StartRole::Forwarded);
    EXPECT_EQ(f.lock.held, 0);
    ASSERT_EQ(f.channel.sent.size(), 1u);
    EXPECT_EQ(f.channel.sent[0], (std::vector<std::string>{"sonaro", "-hide"}));

    f.channel.results = {ForwardResult::RecordingFailed};
    SingleInstance failed(f.lock, f.channel, f.errors);
    EXPECT_EQ(failed.Start({"sonaro", "-record"}), StartRole::ForwardedRecordingFailed);
    EXPECT_EQ(f.lock.held, 0);
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

// The running instance works in its own folder: relative paths must leave this start whole.
TEST(SingleInstance, RelativePathsAreSentAgainstThisStartsFolder) {
    Fixture f;
    f.channel.results = {ForwardResult::Delivered};
    const test::TempDir dir("start-here");
    {
        WorkingIn here(dir);
        const std::string folder = std::filesystem::current_path().string();
        SingleInstance instance(f.lock, f.channel, f.errors);
        EXPECT_EQ(instance.Start({"sonaro", "-OutDir", "rec", "-recordfile", "takes/a.wav", "-s",
                                  "8000", "-outdir", "/abs"}),
                  StartRole::Forwarded);
        ASSERT_EQ(f.channel.sent.size(), 1u);
        EXPECT_EQ(
            f.channel.sent[0],
            (std::vector<std::string>{"sonaro", "-OutDir", folder + "/rec", "-recordfile",
                                      folder + "/takes/a.wav", "-s", "8000", "-outdir", "/abs"}));
    }
}

// A relative path that cannot be placed, or a command line too large for any block, is refused
// with the reason rather than sent wrong or cut.
TEST(SingleInstance, ACommandLineThatCannotBeSentFaithfullyIsRefused) {
    Fixture f;
    f.channel.results = {ForwardResult::Delivered};
    const std::string dir = test::MakeTempDir("removed");
    {
        WorkingIn gone(dir);
        ASSERT_EQ(rmdir(dir.c_str()), 0);
        SingleInstance instance(f.lock, f.channel, f.errors);
        EXPECT_EQ(instance.Start({"sonaro", "-recordfile", "take.wav"}), StartRole::ForwardFailed);
        EXPECT_NE(f.errorText().find("\"take.wav\""), std::string::npos) << f.errorText();
        EXPECT_TRUE(f.channel.sent.empty());
        EXPECT_EQ(f.lock.held, 0);
        // Absolute paths need no working folder.
        EXPECT_EQ(instance.Start({"sonaro", "-recordfile", "/take.wav"}), StartRole::Forwarded);
    }
    SingleInstance instance(f.lock, f.channel, f.errors);
    EXPECT_EQ(instance.Start({"sonaro", "-outdir", "/" + std::string(kMaxForwardBytes, 'x')}),
              StartRole::ForwardFailed);
    EXPECT_NE(f.errorText().find("too long"), std::string::npos) << f.errorText();
    EXPECT_EQ(f.channel.sent.size(), 1u);
    EXPECT_EQ(f.lock.held, 0);
}

}  // namespace
}  // namespace sonaro
