#pragma once

#include <cstddef>
#include <string_view>

namespace sonaro {

// What the program was doing, for the crash report. Process-wide; every operation is lock-free
// and callable from any thread.
enum class ActivityPhase : int {
    Running = 0,
    GlobalsInit = 1,    // "GloIni1"
    WindowCreate = 2,   // "GuiIni2"
    WindowDestroy = 3,  // "GuiDes3"
    GlobalsDone = 4,    // "GloDes4"
};

// Makes the calling thread the main thread and sets the phase GlobalsInit.
void MarkActivityMainThread();
void SetActivityPhase(ActivityPhase phase);

// Holds a window message identifier while the main window handles it.
class ScopedActivityMessage {
  public:
    explicit ScopedActivityMessage(int message);
    ~ScopedActivityMessage();
    ScopedActivityMessage(const ScopedActivityMessage&) = delete;
    ScopedActivityMessage& operator=(const ScopedActivityMessage&) = delete;
};

// Holds a command identifier as the phase while the command runs, then restores the previous
// phase and remembers the command as the last one.
class ScopedActivityCommand {
  public:
    explicit ScopedActivityCommand(int command);
    ~ScopedActivityCommand();
    ScopedActivityCommand(const ScopedActivityCommand&) = delete;
    ScopedActivityCommand& operator=(const ScopedActivityCommand&) = delete;

  private:
    int m_command;
    int m_previous;
};

// Names the calling thread in crash reports (one worker at a time; the last call wins). The
// name is cut to 259 characters.
void RegisterNamedWorker(std::string_view name);
// Forgets the named worker when it is the calling thread.
void UnregisterNamedWorker();

// Writes the calling thread's context text ("Main" and the phase text, the named worker's name,
// or "Other") with a terminating NUL; gives its length. Async-signal-safe.
std::size_t FormatActivityContext(char* out, std::size_t size);

}  // namespace sonaro
