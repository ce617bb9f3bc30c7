#include "platform/program_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Why `path` is not a private folder of this user; empty when it is one.
std::string whyNotPrivate(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (S_ISLNK(info.st_mode)) {
        return "a symbolic link";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "not a folder";
    }
    if (info.st_uid != getuid()) {
        return "owned by user id " + std::to_string(info.st_uid);
    }
    if ((info.st_mode & 077) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("open to others, mode ") + mode;
    }
    return {};
}

// Creates `path` (mode 0700) when missing; why it is not a private folder, empty when it is.
std::string makePrivateFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        MakeDirectories(path.substr(0, slash));
    }
    mkdir(path.c_str(), 0700);
    return whyNotPrivate(path);
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

std::string ChooseTemporaryFolder(const std::string& usual) {
    const std::string refusal = makePrivateFolder(usual);
    if (refusal.empty()) {
        return usual;
    }
    std::string fresh = usual + "-XXXXXX";
    if (mkdtemp(fresh.data()) == nullptr) {
        std::fprintf(stderr,
                     "Sonaro: the temporary folder %s is not private (%s) and no private one can "
                     "be made (%s); starting without the run marker and component downloads\n",
                     usual.c_str(), refusal.c_str(), std::strerror(errno));
        return {};
    }
    std::fprintf(stderr, "Sonaro: the temporary folder %s is not private (%s); using %s instead\n",
                 usual.c_str(), refusal.c_str(), fresh.c_str());
    return fresh;
}

bool PrepareRuntimeFolder(const ProgramPaths& paths) {
    if (paths.runtimeDir == paths.tempDir) {
        return makePrivateFolder(paths.runtimeDir).empty();
    }
    return EnsurePrivateDirectory(paths.runtimeDir);
}

}  // namespace sonaro
