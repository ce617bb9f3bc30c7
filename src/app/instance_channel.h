#pragma once

#include <cstdint>
#include <span>

namespace sonaro {

// Serialises start-ups: held from before a start looks for a running instance until it has
// forwarded its command line, or has become the running instance and applied its own.
class StartupLock {
  public:
    virtual ~StartupLock() = default;
    // Waits up to `budgetMs`; false on time-out or failure (the start then goes on without it).
    virtual bool Acquire(int budgetMs) = 0;
    virtual void Release() = 0;
};

// The running instance's 4-byte answer to a block (little-endian).
enum class ForwardAnswer : std::uint32_t {
    Refused = 0,          // not a forwarding block
    Applied = 1,          // every option was carried out or ignored as usual
    RecordingFailed = 2,  // applied, but a recording it asked for did not start
};

enum class ForwardResult {
    NoInstance,       // no instance is listening
    Delivered,        // the running instance applied the block and answered
    RecordingFailed,  // it applied the block, but a recording the block asked for did not start
    Closed,           // the instance closed the connection without answering (it is ending)
    TimedOut,         // no answer within the time allowed
    Failed,           // the channel itself failed
};

// The sending side of the channel to the running instance.
class InstanceChannel {
  public:
    virtual ~InstanceChannel() = default;
    // Sends the forwarding block and waits up to `replyMs` for the 4-byte answer.
    virtual ForwardResult Forward(std::span<const char> block, int replyMs) = 0;
};

}  // namespace sonaro
