#pragma once

#include <string>

namespace sonaro {

// Where the program keeps its files, from the XDG variables (so tests can run in a temporary
// home). Nothing is created by computing the paths.
struct ProgramPaths {
    std::string home;
    std::string configHome;        // $XDG_CONFIG_HOME or ~/.config
    std::string machineConfigDir;  // first of $XDG_CONFIG_DIRS, or /etc/xdg
    std::string dataDir;           // $XDG_DATA_HOME/sonaro
    std::string tempDir;           // ${TMPDIR:-/tmp}/sonaro-<uid>
    std::string runtimeDir;        // $XDG_RUNTIME_DIR/sonaro, or the temporary folder
    std::string userRegistry;      // <configHome>/sonaro/registry.db
    std::string machineRegistry;   // <machineConfigDir>/sonaro/registry.db

    static ProgramPaths FromEnvironment();
};

// Creates `path` and its missing parents. True when it exists as a folder afterwards.
bool MakeDirectories(const std::string& path);

// Creates `path` with mode 0700 when missing; true only when it is a folder owned by this user
// that no one else can enter (the runtime and temporary folders hold sockets and locks).
bool EnsurePrivateDirectory(const std::string& path);

}  // namespace sonaro
