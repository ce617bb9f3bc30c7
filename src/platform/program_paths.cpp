#include "platform/program_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace sonaro {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir) {
            home = entry->pw_dir;
        }
    }
    return home.empty() ? std::string("/") : home;
}

// XDG variables must hold absolute paths; anything else is ignored as the standard says.
std::string absoluteOr(const std::string& value, const std::string& fallback) {
    return !value.empty() && value.front() == '/' ? value : fallback;
}

}  // namespace

ProgramPaths ProgramPaths::FromEnvironment() {
    ProgramPaths paths;
    paths.home = homeFolder();
    paths.configHome = absoluteOr(environment("XDG_CONFIG_HOME"), paths.home + "/.config");
    std::string configDirs = environment("XDG_CONFIG_DIRS");
    configDirs = configDirs.substr(0, configDirs.find(':'));
    paths.machineConfigDir = absoluteOr(configDirs, "/etc/xdg");
    paths.dataDir =
        absoluteOr(environment("XDG_DATA_HOME"), paths.home + "/.local/share") + "/sonaro";
    const std::string tmp = absoluteOr(environment("TMPDIR"), "/tmp");
    paths.tempDir = tmp + "/sonaro-" + std::to_string(getuid());
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    paths.runtimeDir =
        !runtime.empty() && runtime.front() == '/' ? runtime + "/sonaro" : paths.tempDir;
    paths.userRegistry = paths.configHome + "/sonaro/registry.db";
    paths.machineRegistry = paths.machineConfigDir + "/sonaro/registry.db";
    return paths;
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EnsurePrivateDirectory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
        return false;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        return false;
    }
    return (info.st_mode & 077) == 0 || chmod(path.c_str(), 0700) == 0;
}

}  // namespace sonaro
