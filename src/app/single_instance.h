#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/instance_channel.h"

namespace sonaro {

enum class StartRole {
    Forwarded,  // a running instance took the command line: this process ends
    // it took the command line, but a recording it asked for did not start: end with an error
    ForwardedRecordingFailed,
    First,          // this process is the running instance now (and holds the start-up lock)
    ForwardFailed,  // an instance exists but did not take the command line: end with an error
};

// The start of the program as far as other instances are concerned. Used once, on the main
// thread, before anything heavy is created.
class SingleInstance {
  public:
    static constexpr int kStartupBudgetMs = 20000;
    // How long a second start waits for the running instance to apply its command line.
    static constexpr int kReplyMs = 60000;
    // How long a start keeps retrying while the instance it found is ending.
    static constexpr int kEndingInstanceMs = 2000;

    SingleInstance(StartupLock& lock, InstanceChannel& channel, std::FILE* errors = stderr);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the start-up lock and hands `args` to a running instance, with the relative paths of
    // "-recordfile" and "-outdir" made absolute. The lock is released unless the result is First.
    // ForwardFailed, with a line on `errors`, when the command line cannot be handed on as it is
    // meant: a relative path while the working folder cannot be found, or a command line beyond
    // kMaxForwardBytes.
    StartRole Start(const std::vector<std::string>& args);

    // The first instance releases the lock once it listens and has applied its own options.
    void ReleaseStartupLock();

  private:
    StartupLock& m_lock;
    InstanceChannel& m_channel;
    std::FILE* m_errors;
    bool m_locked = false;
};

}  // namespace sonaro
