#include "support/crash_handler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

struct ProbeRun {
    std::optional<int> exitCode;
    std::string reportedCode;
    bool markerLeft = true;
};

// Reads one line from `fd` within `ms`.
std::string readLine(int fd, int ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[512];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            line.append(buffer, static_cast<std::size_t>(got));
        }
    }
    return line.substr(0, line.find('\n'));
}

ProbeRun runProbe(const std::string& kind) {
    const test::TempDir dir("crash");
    const std::string marker = dir + "/_sonaro_rl";
    const std::string report = dir + "/report";
    ProbeRun run;
    if (mkfifo(report.c_str(), 0600) != 0) {
        return run;
    }
    // Opened for reading and writing, so the reporter's open never waits and poll never sees a
    // hang-up before it wrote.
    const int fd = open(report.c_str(), O_RDWR | O_NONBLOCK);
    ChildProcess probe;
    SpawnOptions options;
    options.argv = {CRASH_PROBE_PATH, kind};
    options.extraEnvironment = {"CRASH_PROBE_MARKER=" + marker, "CRASH_PROBE_OUT=" + report};
    if (fd >= 0 && probe.start(options)) {
        run.exitCode = probe.wait(60000);
        run.reportedCode = readLine(fd, 60000);
    }
    run.markerLeft = access(marker.c_str(), F_OK) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return run;
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
        const ProbeRun run = runProbe(kind);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(run.markerLeft);
        EXPECT_EQ(run.reportedCode, code);
    }
}

}  // namespace
}  // namespace sonaro
