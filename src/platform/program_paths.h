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

// The temporary folder to use: `usual` when it is (or is created as) a folder, not a symbolic
// link, owned by this user and without permission bits for group or others. Otherwise `usual` is
// refused, never tightened (others may have put files in it, and installers are downloaded there
// and run), and a new private folder "<usual>-XXXXXX" is made instead; a line on standard error
// says so. Empty, also said there, when no private folder can be made.
std::string ChooseTemporaryFolder(const std::string& usual);

// True when the runtime folder can hold the instance socket. A runtime folder of its own is made
// private as EnsurePrivateDirectory does; one that falls back to the temporary folder is held to
// ChooseTemporaryFolder's rule and never tightened, so that folder is not trusted at the next
// start merely because the socket's check changed its mode.
bool PrepareRuntimeFolder(const ProgramPaths& paths);

}  // namespace sonaro
