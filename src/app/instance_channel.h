#pragma once

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

enum class ForwardResult {
    NoInstance,  // no instance is listening
    Delivered,   // the running instance applied the block and answered
    Closed,      // the instance closed the connection without answering (it is ending)
    TimedOut,    // no answer within the time allowed
    Failed,      // the channel itself failed
};

// The sending side of the channel to the running instance.
class InstanceChannel {
  public:
    virtual ~InstanceChannel() = default;
    // Sends the forwarding block and waits up to `replyMs` for the 4-byte answer.
    virtual ForwardResult Forward(std::span<const char> block, int replyMs) = 0;
};

}  // namespace sonaro
