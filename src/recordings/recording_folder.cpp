#include "recordings/recording_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace sonaro {

namespace {

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        return lower(x) == lower(y);
    });
}

// The position of `format` in the list's order; -1 for other extensions.
int extensionRank(std::string_view format) {
    for (std::size_t i = 0; i < kRecordingExtensions.size(); ++i) {
        if (equalIgnoringAsciiCase(format, kRecordingExtensions[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::vector<RecordingFile> ListRecordingFiles(const std::string& folder) {
    std::vector<std::pair<int, RecordingFile>> found;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return {};
    }
    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view fileName = entry->d_name;
        const std::size_t dot = fileName.rfind('.');
        if (dot == std::string_view::npos) {
            continue;
        }
        const int rank = extensionRank(fileName.substr(dot));
        if (rank < 0) {
            continue;
        }
        // Follows symbolic links: a link to a device or a FIFO is what a reader would open.
        struct statx info {};
        if (statx(dirFd, entry->d_name, AT_STATX_SYNC_AS_STAT,
                  STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &info) != 0 ||
            S_ISDIR(info.stx_mode)) {
            continue;
        }
        RecordingFile file;
        file.regular = S_ISREG(info.stx_mode);
        file.name = std::string(fileName.substr(0, dot));
        file.format = std::string(fileName.substr(dot));
        file.path = RecordingPath(folder, file.name, file.format);
        file.size = file.regular ? info.stx_size : 0;
        file.created = static_cast<std::time_t>(
            (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec);
        file.modifiedNs =
            static_cast<std::int64_t>(info.stx_mtime.tv_sec) * 1000000000 + info.stx_mtime.tv_nsec;
        found.emplace_back(rank, std::move(file));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
    });
    std::vector<RecordingFile> files;
    files.reserve(found.size());
    for (auto& entry : found) {
        files.push_back(std::move(entry.second));
    }
    return files;
}

std::string RecordingPath(const std::string& folder, const std::string& name,
                          const std::string& format) {
    const bool separated = !folder.empty() && folder.back() == '/';
    return folder + (separated ? "" : "/") + name + format;
}

RenameResult RenameRecording(const std::string& folder, const std::string& oldName,
                             const std::string& format, const std::string& newName) {
    if (newName.empty() || newName.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return RenameResult::InvalidName;
    }
    if (newName == oldName) {
        return RenameResult::Renamed;
    }
    const std::string from = RecordingPath(folder, oldName, format);
    const std::string to = RecordingPath(folder, newName, format);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return RenameResult::Renamed;
    }
    if (errno == EEXIST) {
        return RenameResult::NameInUse;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return RenameResult::Failed;
    }
    // File systems without RENAME_NOREPLACE: a hard link is refused when the name exists, so
    // nothing is replaced here either.
    if (link(from.c_str(), to.c_str()) != 0) {
        return errno == EEXIST ? RenameResult::NameInUse : RenameResult::Failed;
    }
    if (unlink(from.c_str()) != 0) {
        unlink(to.c_str());
        return RenameResult::Failed;
    }
    return RenameResult::Renamed;
}

}  // namespace sonaro
