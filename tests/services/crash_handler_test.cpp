// How an abnormal end is noticed: the run marker at the next start, the crash handler and the
// crash report it starts.
#include "support/crash_handler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/blocking_fifo.h"
#include "support/crash_report.h"
#include "support/fake_clock.h"
#include "support/page_opener.h"
#include "support/recording_page_opener.h"
#include "support/run_marker.h"
#include "support/scripted_prompter.h"
#include "support/server_addresses.h"
#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

void writeMarker(const std::string& path, std::uint32_t seconds, std::uint32_t tick) {
    std::string bytes;
    for (std::uint32_t value : {seconds, tick}) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>(value >> (8 * i)));
        }
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(RunMarkerDecision, TickMustLieStrictlyWithinTwoSecondsOfTheExpected) {
    // Started at 1000 s with tick 50000; now 1010 s: expected tick 60000.
    EXPECT_TRUE(RunMarker::PreviousRunFailed(1010, 60000, 1000, 50000));
    EXPECT_TRUE(RunMarker::PreviousRunFailed(1010, 61999, 1000, 50000));
    EXPECT_TRUE(RunMarker::PreviousRunFailed(1010, 58001, 1000, 50000));
    EXPECT_FALSE(RunMarker::PreviousRunFailed(1010, 62000, 1000, 50000));
    EXPECT_FALSE(RunMarker::PreviousRunFailed(1010, 58000, 1000, 50000));
    // A restart: the tick count started again.
    EXPECT_FALSE(RunMarker::PreviousRunFailed(1010, 3000, 1000, 50000));
    // The tick count wrapped past 2^32 in between.
    EXPECT_TRUE(RunMarker::PreviousRunFailed(1010, 500, 1000, 0xFFFFFFFFu - 9500));
    EXPECT_TRUE(RunMarker::PreviousRunFailed(1010, 0xFFFFFFFFu, 1010, 500));
}

class RunMarkerTest : public testing::Test {
  protected:
    RunMarkerTest() : m_path(m_dir + "/_sonaro_rl") {
        m_clock.setNow(0x12345678);
        m_clock.setTick(0x0A0B0C0D);
    }

    const test::TempDir m_dir{"marker"};
    std::string m_path;
    test::FakeClock m_clock;
    test::ScriptedPrompter m_prompter;
    test::RecordingPageOpener m_pages;
};

TEST_F(RunMarkerTest, MarkerHoldsStartTimeAndTickWhileTheProgramRuns) {
    RunMarker marker(m_path, m_clock, m_prompter, m_pages, "");
    marker.CheckRunMarker();
    EXPECT_TRUE(marker.holdsMarker());
    EXPECT_EQ(test::ReadTextFile(m_path), std::string("\x78\x56\x34\x12\x0D\x0C\x0B\x0A", 8));

    // Another process looking while this one runs cannot open it and leaves it alone.
    RunMarker other(m_path, m_clock, m_prompter, m_pages, "");
    other.CheckRunMarker();
    EXPECT_FALSE(other.holdsMarker());
    EXPECT_EQ(access(m_path.c_str(), F_OK), 0);
    EXPECT_TRUE(m_prompter.shown().empty());

    marker.RemoveRunMarker();
    EXPECT_NE(access(m_path.c_str(), F_OK), 0);
}

TEST_F(RunMarkerTest, LeftoverMarkerWithoutRestartAsksBothQuestions) {
    writeMarker(m_path, 0x12345678 - 60, 0x0A0B0C0D - 60000 + 1999);
    m_prompter.answer(PromptAnswer::Yes);
    m_prompter.answer(PromptAnswer::Yes);
    RunMarker marker(m_path, m_clock, m_prompter, m_pages,
                     BugReportUrl("https://example.test", "AbTermOrHang-Linux61"));
    marker.CheckRunMarker();

    ASSERT_EQ(m_prompter.shown().size(), 2u);
    EXPECT_EQ(m_prompter.shown()[0].title, "Abnormal Termination Detected");
    EXPECT_EQ(m_prompter.shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(m_clock.sleeps(), (std::vector<int>{600}));
    EXPECT_EQ(m_pages.opened,
              (std::vector<std::string>{"https://example.test/software/bug.html?software=Sonaro&"
                                        "version=3.03&xi=AbTermOrHang-Linux61"}));
    // The old marker made way for this run's own.
    EXPECT_TRUE(marker.holdsMarker());
    EXPECT_EQ(test::ReadTextFile(m_path), std::string("\x78\x56\x34\x12\x0D\x0C\x0B\x0A", 8));
}

TEST_F(RunMarkerTest, TheStartAfterACrashStillNoticesTheNextCrash) {
    writeMarker(m_path, 0x12345678 - 60, 0x0A0B0C0D - 60000);
    {
        RunMarker afterFirstCrash(m_path, m_clock, m_prompter, m_pages, "");
        afterFirstCrash.CheckRunMarker();
        // Ends without RemoveRunMarker, as a crash would.
    }
    EXPECT_EQ(m_prompter.shown().size(), 1u);
    m_clock.setNow(0x12345678 + 30);
    m_clock.setTick(0x0A0B0C0D + 30000);
    RunMarker afterSecondCrash(m_path, m_clock, m_prompter, m_pages, "");
    afterSecondCrash.CheckRunMarker();
    EXPECT_EQ(m_prompter.shown().size(), 2u);
    EXPECT_TRUE(afterSecondCrash.holdsMarker());
}

TEST_F(RunMarkerTest, AFifoInPlaceOfTheMarkerDoesNotHoldUpTheStart) {
    RunMarker marker(m_path, m_clock, m_prompter, m_pages, "");
    EXPECT_TRUE(test::FinishesBesideFifo(m_path, 3000, [&] { marker.CheckRunMarker(); }));
    EXPECT_TRUE(m_prompter.shown().empty());
    EXPECT_TRUE(marker.holdsMarker());
}

TEST_F(RunMarkerTest, AnsweringNoOrARestartEndsQuietly) {
    writeMarker(m_path, 0x12345678 - 60, 0x0A0B0C0D - 60000);
    RunMarker marker(m_path, m_clock, m_prompter, m_pages, "https://example.test/x");
    marker.CheckRunMarker();
    EXPECT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_TRUE(m_pages.opened.empty());

    marker.RemoveRunMarker();
    writeMarker(m_path, 0x12345678 - 60, 0x0A0B0C0D - 60000 + 2000);
    marker.CheckRunMarker();
    EXPECT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_TRUE(marker.holdsMarker());

    // A cut-short marker is replaced without a question.
    marker.RemoveRunMarker();
    std::ofstream(m_path) << "abc";
    marker.CheckRunMarker();
    EXPECT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_TRUE(marker.holdsMarker());
    EXPECT_EQ(test::ReadTextFile(m_path).size(), 8u);
}

TEST(CrashReport, YesOpensThePageWithTheEncodedCode) {
    test::ScriptedPrompter prompter;
    test::RecordingPageOpener pages;
    prompter.answer(PromptAnswer::Yes);
    EXPECT_EQ(RunCrashReport("SIGSEGV-Linux61-libx.so-Main(Cmd3)", prompter, pages,
                             "https://example.test/"),
              0);
    EXPECT_EQ(prompter.shown().at(0).title, "Abnormal Execution Problem");
    EXPECT_EQ(pages.opened.at(0),
              "https://example.test/software/bug.html?software=Sonaro&version=3.03&xi=GUI-"
              "SIGSEGV-Linux61-libx.so-Main%28Cmd3%29");

    prompter.answer(PromptAnswer::Yes);
    RunCrashReport("x", prompter, pages, "");
    EXPECT_EQ(pages.opened.size(), 1u);
}

// The first line of the file at `path` once it has been written, waiting up to a minute.
std::string firstLine(const std::string& path) {
    for (int i = 0; i < 6000; ++i) {
        const std::string text = test::ReadTextFile(path);
        if (const auto end = text.find('\n'); end != std::string::npos) {
            return text.substr(0, end);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
}

// Every fault ends the program with code 1, removes the run marker and reports a code naming the
// exception (from the signal and its code), where it happened and the context (the command, the
// worker).
TEST(CrashHandler, EveryFaultRemovesTheMarkerAndReportsItsKindPlaceAndContext) {
    const std::pair<const char*, const char*> cases[] = {
        {"segv", "AccessViolation-LinuxTest-crash_probe-MainGloIni1"},
        // abort() raises the signal inside the C library.
        {"abort", "SIGABRT-LinuxTest-libc.so.6-MainGloIni1"},
        {"command", "IllegalInstruction-LinuxTest-crash_probe-Main(Cmd1012)"},
        {"worker", "AccessViolation-LinuxTest-crash_probe-Sender"},
        {"other", "AccessViolation-LinuxTest-crash_probe-Other"},
        {"bus", "AccessViolation-LinuxTest-crash_probe-MainGloIni1"},
        {"intdiv", "IntDivideByZero-LinuxTest-crash_probe-MainGloIni1"},
        {"fltdiv", "FltDivideByZero-LinuxTest-crash_probe-MainGloIni1"},
        // Caught on the alternate stack.
        {"stack", "StackOverflow-LinuxTest-crash_probe-MainUkn0(Msg15LstCmd1001)"},
    };
    for (const auto& [kind, code] : cases) {
        SCOPED_TRACE(kind);
        const test::TempDir dir("crash");
        ChildProcess probe;
        SpawnOptions options;
        options.argv = {CRASH_PROBE_PATH, kind};
        options.extraEnvironment = {"CRASH_PROBE_MARKER=" + dir + "/_sonaro_rl",
                                    "CRASH_PROBE_OUT=" + dir + "/report"};
        ASSERT_TRUE(probe.start(options)) << probe.errorText();
        EXPECT_EQ(probe.wait(60000), 1);
        EXPECT_EQ(firstLine(dir + "/report"), code);
        EXPECT_NE(access((dir + "/_sonaro_rl").c_str(), F_OK), 0) << "the run marker was left";
    }
}

}  // namespace
}  // namespace sonaro
