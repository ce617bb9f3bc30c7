#include "formats/recording_journal.h"
#include "support/write_fully.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sonaro {
namespace {

void makeParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = path.substr(0, slash);
        makeParentFolder(folder);
        ::mkdir(folder.c_str(), 0700);
    }
}

std::string encode(const std::vector<std::string>& entries) {
    std::string bytes;
    for (const std::string& entry : entries) {
        bytes += entry;
        bytes += '\0';
    }
    return bytes;
}

}  // namespace

bool RecordingJournal::Add(const std::string& recording) {
    if (m_path.empty()) {
        return true;
    }
    std::vector<std::string> entries = Entries();
    if (std::find(entries.begin(), entries.end(), recording) != entries.end()) {
        return true;
    }
    entries.push_back(recording);
    // Rewritten whole rather than appended: a record cut short by an earlier crash would
    // otherwise swallow the start of this one.
    return rewrite(entries);
}

bool RecordingJournal::Remove(const std::string& recording) {
    if (m_path.empty()) {
        return true;
    }
    std::vector<std::string> entries = Entries();
    const auto end = std::remove(entries.begin(), entries.end(), recording);
    if (end == entries.end()) {
        return true;
    }
    entries.erase(end, entries.end());
    return entries.empty() ? Clear() : rewrite(entries);
}

std::vector<std::string> RecordingJournal::Entries() const {
    std::vector<std::string> entries;
    if (m_path.empty()) {
        return entries;
    }
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        return entries;
    }
    struct stat info {};
    std::string bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    std::size_t start = 0;
    for (std::size_t end = bytes.find('\0'); end != std::string::npos;
         end = bytes.find('\0', start)) {
        if (end > start) {
            entries.push_back(bytes.substr(start, end - start));
        }
        start = end + 1;
    }
    return entries;
}

bool RecordingJournal::Clear() {
    return m_path.empty() || ::unlink(m_path.c_str()) == 0 || errno == ENOENT;
}

bool RecordingJournal::rewrite(const std::vector<std::string>& entries) {
    makeParentFolder(m_path);
    const std::string next = m_path + ".new";
    const int fd =
        ::open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written = WriteFully(fd, encode(entries)) && ::fdatasync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(next.c_str(), m_path.c_str()) != 0) {
        ::unlink(next.c_str());
        return false;
    }
    return true;
}

}  // namespace sonaro
