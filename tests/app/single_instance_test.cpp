#include "app/single_instance.h"

#include <gmock/gmock.h>
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

// Answers each forward with the next scripted result, Delivered unless told; keeps what was sent.
class ScriptedChannel : public InstanceChannel {
  public:
    std::deque<ForwardResult> results{ForwardResult::Delivered};
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
    test::CapturedFile errors;
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

TEST(SingleInstance, TheRoleFollowsTheRunningInstancesAnswerAndOnlyTheFirstKeepsTheLock) {
    using enum ForwardResult;
    const struct {
        std::deque<ForwardResult> answers;
        bool lockAvailable;
        StartRole role;
        std::size_t forwards;
    } cases[] = {
        {{Delivered}, true, StartRole::Forwarded, 1},
        {{RecordingFailed}, true, StartRole::ForwardedRecordingFailed, 1},
        {{NoInstance}, true, StartRole::First, 1},
        // An ending instance is waited out.
        {{Closed, Closed, NoInstance}, true, StartRole::First, 3},
        // One that never answers fails the start visibly.
        {{TimedOut}, true, StartRole::ForwardFailed, 1},
        {{Delivered}, false, StartRole::Forwarded, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.role) * 10 + static_cast<int>(c.answers.front()));
        Fixture f;
        f.lock.available = c.lockAvailable;
        f.channel.results = c.answers;
        {
            SingleInstance instance(f.lock, f.channel, f.errors.file);
            EXPECT_EQ(instance.Start({"sonaro", "-record"}), c.role);
            ASSERT_EQ(f.channel.sent.size(), c.forwards);
            EXPECT_EQ(f.channel.sent[0], (std::vector<std::string>{"sonaro", "-record"}));
            if (c.role == StartRole::ForwardFailed) {
                EXPECT_FALSE(f.errors.text().empty());
            }
            if (c.role == StartRole::First) {
                EXPECT_EQ(f.lock.held, 1) << "until the first instance is ready";
                instance.ReleaseStartupLock();
            }
            EXPECT_EQ(f.lock.held, 0);
        }
        EXPECT_EQ(f.lock.held, 0);
    }
}

// The running instance works in its own folder: relative paths must leave this start whole.
TEST(SingleInstance, RelativePathsAreSentAgainstThisStartsFolder) {
    Fixture f;
    const test::TempDir dir("start-here");
    {
        WorkingIn here(dir);
        const std::string folder = std::filesystem::current_path().string();
        SingleInstance instance(f.lock, f.channel, f.errors.file);
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
    const std::string dir = test::MakeTempDir("removed");
    {
        WorkingIn gone(dir);
        ASSERT_EQ(rmdir(dir.c_str()), 0);
        SingleInstance instance(f.lock, f.channel, f.errors.file);
        EXPECT_EQ(instance.Start({"sonaro", "-recordfile", "take.wav"}), StartRole::ForwardFailed);
        EXPECT_THAT(f.errors.text(), testing::HasSubstr("\"take.wav\""));
        EXPECT_TRUE(f.channel.sent.empty());
        EXPECT_EQ(f.lock.held, 0);
        // Absolute paths need no working folder.
        EXPECT_EQ(instance.Start({"sonaro", "-recordfile", "/take.wav"}), StartRole::Forwarded);
    }
    SingleInstance instance(f.lock, f.channel, f.errors.file);
    EXPECT_EQ(instance.Start({"sonaro", "-outdir", "/" + std::string(kMaxForwardBytes, 'x')}),
              StartRole::ForwardFailed);
    EXPECT_THAT(f.errors.text(), testing::HasSubstr("too long"));
    EXPECT_EQ(f.channel.sent.size(), 1u);
    EXPECT_EQ(f.lock.held, 0);
}

}  // namespace
}  // namespace sonaro
