#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "threads/event.h"

namespace sonaro {

struct SpawnOptions {
    // argv[0] is the program: a path, or a name looked up on PATH. Never run through a shell.
    std::vector<std::string> argv;
    // "NAME=value" entries added to (or replacing in) the child's copy of the environment; the
    // running program's own environment is not changed.
    std::vector<std::string> extraEnvironment;
    bool pipeStdin = false;
    bool pipeStdout = false;
    // Empty: the child starts in our working directory.
    std::string workingDirectory;
};

// A child process started with posix_spawn and an argument vector. The destructor of a child that
// still runs kills it and reaps it, so no zombie is left behind.
//
// Used from one thread at a time.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program could not be started; errorText() then says why.
    bool start(const SpawnOptions& options);
    bool running() const { return m_pid > 0; }
    int pid() const { return m_pid; }
    const std::string& errorText() const { return m_error; }

    // Writes every byte to the child's standard input. False when the child closed its end (no
    // SIGPIPE reaches the program) or the pipe failed; errorText() says why.
    bool writeInput(std::string_view bytes);
    void closeInput();
    // Reads what the child wrote to its piped standard output; 0 at its end, -1 on error.
    long readOutput(char* buffer, std::size_t size);
    // Everything the child writes until it closes its output.
    std::string readAllOutput();
    WaitHandle outputHandle() const { return m_stdout; }

    // Waits up to `ms` (negative: no limit) for the child to end; gives its exit code (128 + the
    // signal number when a signal ended it, -1 when it was reaped elsewhere), or nothing on
    // time-out.
    std::optional<int> wait(int ms);
    // wait(ms) that also gives up, with nothing, once `wake` is readable (a worker's stop).
    std::optional<int> waitOrWake(int ms, WaitHandle wake);
    // Ends the child at once (SIGKILL) and reaps it.
    void kill();
    // Lets the child run on by itself: closes our pipe ends and leaves the child to a background
    // thread that reaps it when it ends. The object is then free for another start.
    void detach();

  private:
    void closeFd(int& fd);

    int m_pid = 0;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_error;
};

// The full path of `name` found on PATH (or `name` itself when it contains a slash and is
// executable); empty when there is none.
std::string FindProgramOnPath(std::string_view name);

}  // namespace sonaro
