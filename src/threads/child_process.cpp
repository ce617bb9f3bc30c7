#include "threads/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace sonaro {
namespace {

std::string variableName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> childEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string current(*entry);
        bool replaced = false;
        for (const std::string& added : extra) {
            replaced = replaced || variableName(added) == variableName(current);
        }
        if (!replaced) {
            result.push_back(current);
        }
    }
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 255;
}

bool isExecutable(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// Writes with SIGPIPE blocked for this thread and swallows a SIGPIPE that the write raised, so a
// child that went away gives EPIPE instead of ending the program.
long writeWithoutSigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipeOnly;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    long written = 0;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    if (written < 0 && writeError == EPIPE) {
        const timespec zero{0, 0};
        sigtimedwait(&pipeOnly, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = writeError;
    return written;
}

}  // namespace

ChildProcess::~ChildProcess() {
    closeInput();
    closeFd(m_stdout);
    if (m_pid > 0) {
        kill();
    }
}

void ChildProcess::closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool ChildProcess::start(const SpawnOptions& options) {
    m_error.clear();
    if (m_pid > 0 || options.argv.empty()) {
        m_error = options.argv.empty() ? "no program given" : "a child is already running";
        return false;
    }
    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    if ((options.pipeStdin && pipe2(inPipe, O_CLOEXEC) != 0) ||
        (options.pipeStdout && pipe2(outPipe, O_CLOEXEC) != 0)) {
        m_error = std::string("cannot create a pipe: ") + std::strerror(errno);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.pipeStdin)
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    if (options.pipeStdout)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argv = options.argv;
    std::vector<std::string> env = childEnvironment(options.extraEnvironment);
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(env);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, &attributes, argvPointers.data(),
                                envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int fd : {inPipe[0], outPipe[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (rc != 0) {
        m_error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        for (int fd : {inPipe[1], outPipe[0]}) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    m_pid = pid;
    m_stdin = inPipe[1];
    m_stdout = outPipe[0];
    return true;
}

bool ChildProcess::writeInput(std::string_view bytes) {
    if (m_stdin < 0) {
        m_error = "the input pipe is closed";
        return false;
    }
    while (!bytes.empty()) {
        const long written = writeWithoutSigpipe(m_stdin, bytes.data(), bytes.size());
        if (written < 0) {
            m_error = errno == EPIPE
                          ? "the program closed its input"
                          : std::string("write to the program failed: ") + std::strerror(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void ChildProcess::closeInput() {
    closeFd(m_stdin);
}

long ChildProcess::readOutput(char* buffer, std::size_t size) {
    if (m_stdout < 0) {
        return 0;
    }
    long got = 0;
    do {
        got = ::read(m_stdout, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

std::string ChildProcess::readAllOutput() {
    std::string output;
    char buffer[8192];
    long got = 0;
    while ((got = readOutput(buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    return output;
}

std::optional<int> ChildProcess::wait(int ms) {
    if (m_pid <= 0) {
        return std::nullopt;
    }
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (pidFd >= 0) {
        WaitForAnyHandle(&pidFd, 1, ms);
        ::close(pidFd);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, pidFd >= 0 && ms < 0 ? 0 : WNOHANG);
        if (done == m_pid) {
            m_pid = 0;
            return exitCodeOf(status);
        }
        if (done < 0 && errno == ECHILD) {
            m_pid = 0;
            return -1;
        }
        if (pidFd >= 0 || (ms >= 0 && std::chrono::steady_clock::now() >= deadline)) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<int> ChildProcess::waitOrWake(int ms, WaitHandle wake) {
    if (m_pid <= 0) {
        return std::nullopt;
    }
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (pidFd >= 0) {
        const WaitHandle handles[2] = {pidFd, wake};
        const int ready = WaitForAnyHandle(handles, 2, ms);
        ::close(pidFd);
        return ready == 0 ? wait(0) : std::nullopt;
    }
    // Without pidfd (kernels before 5.3) the child is looked at between short waits.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (const auto code = wait(0)) {
            return code;
        }
        if (WaitForAnyHandle(&wake, 1, 20) == 0 ||
            (ms >= 0 && std::chrono::steady_clock::now() >= deadline)) {
            return std::nullopt;
        }
    }
}

void ChildProcess::kill() {
    if (m_pid <= 0) {
        return;
    }
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = 0;
}

void ChildProcess::detach() {
    closeInput();
    closeFd(m_stdout);
    if (m_pid <= 0) {
        return;
    }
    const pid_t pid = std::exchange(m_pid, 0);
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

std::string FindProgramOnPath(std::string_view name) {
    const std::string program(name);
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string::npos) {
        return isExecutable(program) ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (isExecutable(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace sonaro
