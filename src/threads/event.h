#pragma once

namespace sonaro {

// A pollable handle: a file descriptor that is readable while its object is signalled. Events,
// sockets and pipes can all be waited on together with a worker's stop event.
using WaitHandle = int;

// A manual-reset event: once set it stays signalled until reset. Backed by an eventfd so that it
// can be waited on together with any other file descriptor.
class Event {
  public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Blocks up to `ms` milliseconds (negative: no limit); true when the event is signalled.
    bool wait(int ms) const;

    WaitHandle handle() const { return m_fd; }

  private:
    int m_fd;
};

// Result of a wait for a handle or a stop request.
enum class WaitResult : int { Signalled = 0, Stopped = 1, TimedOut = 2 };

// Blocks until one of `handles` is readable or `ms` elapses (negative: no limit). Gives the index
// of the first readable handle, or -1 on time-out. Interrupted waits are resumed with the time
// that is left.
int WaitForAnyHandle(const WaitHandle* handles, int count, int ms);

}  // namespace sonaro
