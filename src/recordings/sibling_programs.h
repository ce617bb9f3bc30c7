#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/program_launcher.h"

namespace sonaro {

class Prompter;

// The maker's other programs that recordings are handed to.
enum class Sibling { Moldra, Typrel, Convro, Discor, Cindle };

struct SiblingProgram {
    const char* key;
    const char* setupName;
    const char* shownName;
    const char* progressTitle;
    // Programs of the distribution that do the same job, tried in order when the program has no
    // command; each is given `fallbackArguments` of the hand-off.
    std::vector<const char*> fallbacks;
    // Says what to install when neither is there.
    const char* missingText;
};

const SiblingProgram& SiblingProgramOf(Sibling sibling);

struct HandOffRequest {
    Sibling program = Sibling::Moldra;
    std::string_view action;
    std::string_view argumentText;
    bool wait = false;
    // The arguments for a fallback program (its name comes first).
    std::vector<std::string> fallbackArguments;
};

struct HandOffOutcome {
    InstallResult result = InstallResult::Failed;
    // Neither the program nor a fallback could be found or installed.
    bool missing = false;
};

// Hands recordings to the sibling programs: the program's registered command first (through
// LaunchProgram), then a fallback found on PATH, then LaunchProgram's install on demand.
// Every program runs from an argument vector, never through a shell. User-interface thread.
class SiblingLauncher {
  public:
    explicit SiblingLauncher(ProgramLauncher& launcher) : m_launcher(launcher) {}

    HandOffOutcome HandOff(const HandOffRequest& request);

  private:
    ProgramLauncher& m_launcher;
};

}  // namespace sonaro
