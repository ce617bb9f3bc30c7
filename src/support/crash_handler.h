#pragma once

#include <string>

namespace sonaro {

struct CrashHandlerOptions {
    // The program started again to report the crash; empty means this program (/proc/self/exe).
    std::string programPath;
    // The reporting mode's option; the program is started as `programPath reportOption code`.
    std::string reportOption = "-crashreport";
    // Stands where the reports name the system's version, "Linux61" for example.
    std::string osTag;
};

// Installs handlers for SIGSEGV, SIGILL, SIGFPE, SIGBUS and SIGABRT (abort(), failed assertions,
// std::terminate) on an alternate stack for the calling thread (which becomes the main thread of
// the activity record). On the first fault the handler
// removes the run marker, forms the crash code
// "<exception>-<osTag>-<module>-<context>" (exception "AccessViolation" for SIGSEGV and SIGBUS,
// "StackOverflow" for a SIGSEGV at the stack's end, "IllegalInstruction", "FltDivideByZero" and
// "IntDivideByZero" for SIGILL and the two SIGFPE codes, else the signal's name such as "SIGABRT"),
// starts `programPath reportOption code` and ends the process with exit code 1. A second fault
// takes the signal's default action. The handler does only async-signal-safe work.
//
// Call once, early, on the main thread. False when a handler could not be installed.
bool InstallCrashHandler(const CrashHandlerOptions& options);

// The run marker the handler removes; null when none is held. Called by the run marker on the
// user-interface thread.
void SetCrashMarkerPath(const char* path);

// Refreshes the list of loaded modules that crash codes name (after libraries were loaded at run
// time). Not async-signal-safe; call from ordinary code.
void RefreshCrashModules();

}  // namespace sonaro
