#include "app/single_instance.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/forward_block.h"
#include "app/forward_paths.h"

namespace sonaro {

SingleInstance::SingleInstance(StartupLock& lock, InstanceChannel& channel, std::FILE* errors)
    : m_lock(lock), m_channel(channel), m_errors(errors) {}

SingleInstance::~SingleInstance() {
    ReleaseStartupLock();
}

void SingleInstance::ReleaseStartupLock() {
    if (m_locked) {
        m_lock.Release();
        m_locked = false;
    }
}

StartRole SingleInstance::Start(const std::vector<std::string>& args) {
    // Refused whether or not an instance runs, so that a command line never works or fails by
    // whether another start came first.
    std::vector<std::string> forwarded = args;
    const std::string folder = WorkingFolder();
    const int folderError = errno;
    std::string unresolved;
    if (!MakePathOptionsAbsolute(forwarded, folder, &unresolved)) {
        std::fprintf(m_errors,
                     "Sonaro: cannot hand on the relative path \"%s\": the current folder "
                     "cannot be found (%s)\n",
                     unresolved.c_str(), std::strerror(folderError));
        return StartRole::ForwardFailed;
    }
    const std::vector<char> block = BuildForwardBlock(forwarded);
    if (block.empty()) {
        std::fprintf(m_errors,
                     "Sonaro: the command line is too long to hand on: its first %zu arguments "
                     "take more than %zu bytes\n",
                     kForwardSlots, kMaxForwardBytes);
        return StartRole::ForwardFailed;
    }
    m_locked = m_lock.Acquire(kStartupBudgetMs);
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndingInstanceMs);
    ForwardResult result = m_channel.Forward(block, kReplyMs);
    // An instance that closes without answering is ending; once it stops listening this start
    // becomes the running instance.
    while (result == ForwardResult::Closed && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        result = m_channel.Forward(block, kReplyMs);
    }
    switch (result) {
        case ForwardResult::NoInstance:
        case ForwardResult::Failed:
            return StartRole::First;
        case ForwardResult::Delivered:
            ReleaseStartupLock();
            return StartRole::Forwarded;
        case ForwardResult::RecordingFailed:
            ReleaseStartupLock();
            std::fprintf(m_errors, "Sonaro: the running instance could not start the recording\n");
            return StartRole::ForwardedRecordingFailed;
        case ForwardResult::Closed:
        case ForwardResult::TimedOut:
            break;
    }
    ReleaseStartupLock();
    std::fprintf(m_errors, "Sonaro: the running instance did not take the command line\n");
    return StartRole::ForwardFailed;
}

}  // namespace sonaro
