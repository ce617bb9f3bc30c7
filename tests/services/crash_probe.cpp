// Installs the crash handler and crashes in the way its first argument names; started again as
// "crash_probe -crashreport <code>" by the handler, it writes the code and a line feed to the
// file named by CRASH_PROBE_OUT. CRASH_PROBE_MARKER names the run marker it holds while running.
#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "support/activity_record.h"
#include "support/crash_handler.h"
#include "support/page_opener.h"
#include "support/prompter.h"
#include "support/run_marker.h"

namespace {

// A store to a page without access: a real fault that the sanitizers do not intercept first.
void writeToForbiddenPage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) {
        *static_cast<volatile int*>(page) = 1;
    }
}

// A read past the end of a mapped file: SIGBUS.
void readBeyondMappedFile() {
    char name[] = "/tmp/crash_probe_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        return;
    }
    unlink(name);
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    if (page != MAP_FAILED) {
        static_cast<void>(*static_cast<volatile char*>(page));
    }
}

// The sanitizers check divisions themselves, and the compiler turns a known dividend into
// comparisons; this one must reach the processor.
__attribute__((noinline, no_sanitize("integer-divide-by-zero"))) int divide(int a, int b) {
    return a / b;
}

int recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == -1) {
        return 0;
    }
    return recurse(depth + 1) + frame[0];
}

int report(const char* code) {
    const char* out = std::getenv("CRASH_PROBE_OUT");
    std::ofstream file(out != nullptr ? out : "", std::ios::app);
    file << code << '\n';
    return file.flush() ? 0 : 3;
}

// The run marker of a program that nobody answers; its page opener opens nothing.
class SilentPrompter final : public sonaro::Prompter {
  public:
    sonaro::PromptAnswer ShowMessage(const sonaro::PromptMessage& message) override {
        return message.defaultAnswer;
    }
    void RunWithProgress(std::string_view, sonaro::LProgressReporter&) override {}
};

class NoPages final : public sonaro::PageOpener {
  public:
    bool OpenPage(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "-crashreport") == 0) {
        return report(argv[2]);
    }
    if (argc != 2) {
        return 2;
    }
    sonaro::CrashHandlerOptions options;
    options.osTag = "LinuxTest";
    if (!sonaro::InstallCrashHandler(options)) {
        return 5;
    }
    const char* markerPath = std::getenv("CRASH_PROBE_MARKER");
    const sonaro::SystemClock clock;
    SilentPrompter prompter;
    NoPages pages;
    sonaro::RunMarker marker(markerPath != nullptr ? markerPath : "", clock, prompter, pages, "");
    marker.CheckRunMarker();
    if (!marker.holdsMarker()) {
        return 7;
    }
    const std::string kind = argv[1];
    if (kind == "segv") {
        writeToForbiddenPage();
    } else if (kind == "command") {
        sonaro::SetActivityPhase(sonaro::ActivityPhase::Running);
        sonaro::ScopedActivityCommand command(1012);
        __builtin_trap();
    } else if (kind == "bus") {
        readBeyondMappedFile();
    } else if (kind == "intdiv") {
        volatile int one = 1;
        volatile int zero = 0;
        return divide(one, zero);
    } else if (kind == "fltdiv") {
        feenableexcept(FE_DIVBYZERO);
        volatile double zero = 0;
        return static_cast<int>(1.0 / zero);
    } else if (kind == "abort") {
        std::abort();
    } else if (kind == "stack") {
        sonaro::SetActivityPhase(sonaro::ActivityPhase::Running);
        { sonaro::ScopedActivityCommand command(1001); }
        sonaro::ScopedActivityMessage message(15);
        return recurse(0);
    } else if (kind == "worker" || kind == "other") {
        std::thread worker([&kind] {
            if (kind == "worker") {
                sonaro::RegisterNamedWorker("Sender");
            }
            writeToForbiddenPage();
        });
        worker.join();
    }
    return 6;
}
