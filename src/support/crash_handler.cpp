#include "support/crash_handler.h"

#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "support/activity_record.h"
#include "support/signal_safe_text.h"

extern char** environ;

namespace sonaro {
namespace {

constexpr std::size_t kPathBytes = 4096;
constexpr std::size_t kCodeBytes = 1024;
constexpr int kMaxModules = 256;
constexpr std::size_t kAltStackBytes = 256 * 1024;
constexpr int kSignals[] = {SIGSEGV, SIGILL, SIGFPE, SIGBUS, SIGABRT};

struct ModuleRange {
    std::uintptr_t start;
    std::uintptr_t end;
    char name[256];
};

char g_program[kPathBytes];
char g_reportOption[64];
char g_osTag[64];
char g_marker[kPathBytes];
std::atomic<bool> g_markerSet{false};
std::atomic<bool> g_crashed{false};
ModuleRange g_modules[kMaxModules];
std::atomic<int> g_moduleCount{0};
alignas(16) char g_altStack[kAltStackBytes];

void copyText(char* to, std::size_t size, const std::string& text) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(to, text.data(), length);
    to[length] = '\0';
}

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int addModule(dl_phdr_info* info, std::size_t, void* data) {
    int& count = *static_cast<int*>(data);
    if (count >= kMaxModules) {
        return 1;
    }
    std::uintptr_t low = UINTPTR_MAX;
    std::uintptr_t high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD) {
            low = std::min<std::uintptr_t>(low, info->dlpi_addr + segment.p_vaddr);
            high =
                std::max<std::uintptr_t>(high, info->dlpi_addr + segment.p_vaddr + segment.p_memsz);
        }
    }
    if (low >= high) {
        return 0;
    }
    ModuleRange& module = g_modules[count++];
    module.start = low;
    module.end = high;
    const char* name = info->dlpi_name != nullptr && *info->dlpi_name != '\0'
                           ? baseName(info->dlpi_name)
                           : baseName(g_program);
    copyText(module.name, sizeof module.name, name);
    return 0;
}

const char* moduleAt(std::uintptr_t address) {
    const int count = g_moduleCount.load();
    for (int i = 0; i < count; ++i) {
        if (address >= g_modules[i].start && address < g_modules[i].end) {
            return g_modules[i].name;
        }
    }
    return "";
}

std::uintptr_t faultingInstruction(void* context) {
    const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.pc);
#else
    (void)machine;
    return 0;
#endif
}

std::uintptr_t stackPointer(void* context) {
    const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.sp);
#else
    (void)machine;
    return 0;
#endif
}

// A SIGSEGV whose address lies just around the stack pointer hit the stack's guard page.
bool isStackOverflow(int signal, const siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const std::uintptr_t sp = stackPointer(context);
    return signal == SIGSEGV && sp != 0 && address + 65536 >= sp && address < sp + 4096;
}

// The exception names the reports use; faults without one keep the signal's name.
const char* exceptionName(int signal, const siginfo_t* info) {
    switch (signal) {
        case SIGSEGV:
        case SIGBUS:
            return "AccessViolation";
        case SIGILL:
            return "IllegalInstruction";
        case SIGFPE:
            if (info->si_code == FPE_FLTDIV) {
                return "FltDivideByZero";
            }
            return info->si_code == FPE_INTDIV ? "IntDivideByZero" : "SIGFPE";
        default:
            return "SIGABRT";
    }
}

void startReporter(const char* code) {
    const pid_t child = _Fork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        char* argv[] = {g_program, g_reportOption, const_cast<char*>(code), nullptr};
        execve(g_program, argv, environ);
        _exit(127);
    }
}

void onFatalSignal(int signal, siginfo_t* info, void* context) {
    if (g_crashed.exchange(true)) {
        ::signal(signal, SIG_DFL);
        return;
    }
    if (g_markerSet.load()) {
        unlink(g_marker);
    }
    char contextText[512];
    FormatActivityContext(contextText, sizeof contextText);
    char code[kCodeBytes];
    SignalSafeText text(code, sizeof code);
    text.append(isStackOverflow(signal, info, context) ? "StackOverflow"
                                                       : exceptionName(signal, info));
    text.append("-");
    text.append(g_osTag);
    text.append("-");
    text.append(moduleAt(faultingInstruction(context)));
    text.append("-");
    text.append(contextText);
    startReporter(code);
    _exit(1);
}

bool installAltStack() {
    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    return sigaltstack(&stack, nullptr) == 0;
}

}  // namespace

bool InstallCrashHandler(const CrashHandlerOptions& options) {
    MarkActivityMainThread();
    std::string program = options.programPath;
    if (program.empty()) {
        char self[kPathBytes];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        program.assign(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    copyText(g_program, sizeof g_program, program);
    copyText(g_reportOption, sizeof g_reportOption, options.reportOption);
    copyText(g_osTag, sizeof g_osTag, options.osTag);
    RefreshCrashModules();
    bool installed = installAltStack();
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        installed = sigaction(signal, &action, nullptr) == 0 && installed;
    }
    return installed;
}

void SetCrashMarkerPath(const char* path) {
    g_markerSet.store(false);
    if (path != nullptr) {
        copyText(g_marker, sizeof g_marker, path);
        g_markerSet.store(true);
    }
}

void RefreshCrashModules() {
    g_moduleCount.store(0);
    int count = 0;
    dl_iterate_phdr(addModule, &count);
    g_moduleCount.store(count);
}

}  // namespace sonaro
