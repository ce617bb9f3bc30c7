#include "threads/child_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>

namespace sonaro {
namespace {

SpawnOptions options(std::vector<std::string> argv, std::vector<std::string> environment,
                     bool pipeStdin, bool pipeStdout) {
    SpawnOptions result;
    result.argv = std::move(argv);
    result.extraEnvironment = std::move(environment);
    result.pipeStdin = pipeStdin;
    result.pipeStdout = pipeStdout;
    return result;
}

TEST(ChildProcess, ArgumentsReachTheProgramVerbatimWithoutAShell) {
    ChildProcess child;
    ASSERT_TRUE(
        child.start(options({"printf", "[%s]", "a b; echo injected", "$HOME"}, {}, false, true)))
        << child.errorText();
    EXPECT_EQ(child.readAllOutput(), "[a b; echo injected][$HOME]");
    EXPECT_EQ(child.wait(5000), 0);
}

TEST(ChildProcess, ExtraEnvironmentIsTheChildsOnly) {
    ASSERT_EQ(std::getenv("LQUIET"), nullptr);
    ChildProcess child;
    ASSERT_TRUE(
        child.start(options({"sh", "-c", "printf %s \"$LQUIET\""}, {"LQUIET=1"}, false, true)));
    EXPECT_EQ(child.readAllOutput(), "1");
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
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(slow.waitOrWake(-1, wake.handle()).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
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

}  // namespace
}  // namespace sonaro
