#pragma once

#include <string>
#include <vector>

namespace sonaro {

// An option handled before anything else starts; each one ends the process when done.
enum class ProcessOptionKind {
    None,        // not a process-level option: the program starts normally
    RunTool,     // "-exe <tool>": a helper tool over standard input and output; none exists yet
    SetAutorun,  // "-setautorun <code>": start at logon on or off
    Installer,   // file-type and component options of the installer: nothing to do here
};

enum class AutorunChange { None, Enable, Disable };

struct ProcessOption {
    ProcessOptionKind kind = ProcessOptionKind::None;
    AutorunChange autorun = AutorunChange::None;
};

// Looks at args[1] (case-sensitive) when there are further arguments and it begins with '-'.
// For "-setautorun" the second character of the code decides: '1' enable, '0' disable.
ProcessOption ParseProcessOption(const std::vector<std::string>& args);

}  // namespace sonaro
