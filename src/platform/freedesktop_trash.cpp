#include "platform/freedesktop_trash.h"
#include "support/percent_encoding.h"
#include "support/write_fully.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace sonaro {
namespace {

// The folder of the mount that holds `path`: the highest ancestor on the same device.
std::string TopFolder(const std::string& path, dev_t device) {
    std::filesystem::path top = std::filesystem::path(path).parent_path();
    while (top.has_parent_path() && top != top.root_path()) {
        struct stat facts {};
        const std::filesystem::path parent = top.parent_path();
        if (::stat(parent.c_str(), &facts) != 0 || facts.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top.string();
}

bool MakePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    struct stat facts {};
    return errno == EEXIST && ::lstat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) &&
           facts.st_uid == ::getuid();
}

// A trash folder with its "files" and "info" folders, made when missing.
bool PrepareTrash(const std::string& trash) {
    return MakePrivateFolder(trash) && MakePrivateFolder(trash + "/files") &&
           MakePrivateFolder(trash + "/info");
}

// The trash of the mount `top`: "$top/.Trash/$uid" when "$top/.Trash" is a sticky folder and
// not a link, else "$top/.Trash-$uid".
std::string MountTrash(const std::string& top) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = top + "/.Trash";
    struct stat facts {};
    if (::lstat(shared.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) &&
        (facts.st_mode & S_ISVTX) != 0 && PrepareTrash(shared + "/" + uid)) {
        return shared + "/" + uid;
    }
    const std::string own = top + "/.Trash-" + uid;
    return PrepareTrash(own) ? own : std::string();
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

}  // namespace

bool FreedesktopTrash::MoveToTrash(const std::string& path, std::string& error) {
    struct stat file {};
    if (path.empty() || path.front() != '/' || ::lstat(path.c_str(), &file) != 0) {
        error = path.empty() || path.front() != '/' ? "not an absolute path" : std::strerror(errno);
        return false;
    }
    const std::string homeTrash = m_dataHome + "/Trash";
    std::error_code made;
    std::filesystem::create_directories(m_dataHome, made);
    struct stat home {};
    std::string trash;
    std::string originalPath = path;
    if (::stat(m_dataHome.c_str(), &home) == 0 && home.st_dev == file.st_dev) {
        trash = PrepareTrash(homeTrash) ? homeTrash : std::string();
    } else {
        const std::string top = TopFolder(path, file.st_dev);
        trash = MountTrash(top);
        originalPath = std::filesystem::path(path).lexically_relative(top).string();
    }
    if (trash.empty()) {
        error = "no trash folder can be made for it";
        return false;
    }
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string info = "[Trash Info]\nPath=" + PercentEncode(originalPath, "/") +
                             "\nDeletionDate=" + DeletionDate() + "\n";
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string trashName = attempt == 1 ? name : name + "." + std::to_string(attempt);
        const std::string infoPath = trash + "/info/" + trashName + ".trashinfo";
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            error = std::strerror(errno);
            return false;
        }
        const bool written = WriteFully(fd, info);
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(infoPath.c_str());
            error = "cannot write its trash information";
            return false;
        }
        const std::string target = trash + "/files/" + trashName;
        struct stat taken {};
        if (::lstat(target.c_str(), &taken) == 0) {
            // A file left without its information holds the name.
            ::unlink(infoPath.c_str());
            continue;
        }
        if (::rename(path.c_str(), target.c_str()) == 0) {
            return true;
        }
        error = std::strerror(errno);
        ::unlink(infoPath.c_str());
        return false;
    }
    error = "no free name in the trash";
    return false;
}

}  // namespace sonaro
