// Installs the crash handler and crashes in the way its first argument names; started again as
// "crash_probe -crashreport <code>" by the handler, it writes the code and a line feed to the
// file named by CRASH_PROBE_OUT. CRASH_PROBE_MARKER names a run marker to create first.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "support/activity_record.h"
#include "support/crash_handler.h"

namespace {

// A store to a page without access: a real fault that the sanitizers do not intercept first.
void writeToForbiddenPage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) {
        *static_cast<volatile int*>(page) = 1;
    }
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
    const int fd = out != nullptr ? open(out, O_WRONLY | O_APPEND) : -1;
    if (fd < 0) {
        return 3;
    }
    const std::string line = std::string(code) + "\n";
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return written ? 0 : 4;
}

void createMarker() {
    const char* marker = std::getenv("CRASH_PROBE_MARKER");
    if (marker != nullptr) {
        close(open(marker, O_CREAT | O_WRONLY, 0600));
        sonaro::SetCrashMarkerPath(marker);
    }
}

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
    createMarker();
    const std::string kind = argv[1];
    if (kind == "segv") {
        writeToForbiddenPage();
    } else if (kind == "command") {
        sonaro::SetActivityPhase(sonaro::ActivityPhase::Running);
        sonaro::ScopedActivityCommand command(1012);
        __builtin_trap();
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
