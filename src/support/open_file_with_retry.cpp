#include "support/open_file_with_retry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sonaro {
namespace {

int openFlags(FileAccess access, FileDisposition disposition) {
    int flags = O_CLOEXEC;
    switch (access) {
        case FileAccess::Read:
            flags |= O_RDONLY;
            break;
        case FileAccess::Write:
            flags |= O_WRONLY;
            break;
        case FileAccess::ReadWrite:
            flags |= O_RDWR;
            break;
    }
    switch (disposition) {
        case FileDisposition::CreateNew:
            return flags | O_CREAT | O_EXCL;
        case FileDisposition::CreateAlways:
        case FileDisposition::OpenAlways:
            return flags | O_CREAT;
        case FileDisposition::OpenExisting:
        case FileDisposition::TruncateExisting:
            return flags;
    }
    return flags;
}

// A shared lock for openers that let others write, or that only read and let others read;
// every other opener excludes all others.
int lockFor(FileAccess access, FileShare share) {
    const bool othersWrite = share == FileShare::Write || share == FileShare::ReadWrite;
    const bool readOnlySharing = access == FileAccess::Read && share == FileShare::Read;
    return othersWrite || readOnlySharing ? LOCK_SH : LOCK_EX;
}

// Opening a FIFO or a device may wait for ever (for a writer, for a modem line); with
// O_NONBLOCK the open returns at once and the type check turns such a file away.
int refuseUnlessRegular(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? 0 : errno;
}

FileHandle openOnce(const std::string& path, FileAccess access, FileShare share,
                    FileDisposition disposition) {
    const int fd =
        ::open(path.c_str(), openFlags(access, disposition) | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        return FileHandle(-1, errno);
    }
    if (const int refused = refuseUnlessRegular(fd); refused != 0) {
        ::close(fd);
        return FileHandle(-1, refused);
    }
    if (flock(fd, lockFor(access, share) | LOCK_NB) != 0) {
        const int error = errno == EINTR ? EWOULDBLOCK : errno;
        ::close(fd);
        return FileHandle(-1, error);
    }
    const bool truncate = disposition == FileDisposition::CreateAlways ||
                          disposition == FileDisposition::TruncateExisting;
    if (truncate && ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return FileHandle(-1, error);
    }
    return FileHandle(fd, 0);
}

}  // namespace

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_error(other.m_error) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_error = other.m_error;
    }
    return *this;
}

void FileHandle::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FileHandle OpenFileWithRetry(const std::string& path, FileAccess access, FileShare share,
                             FileDisposition disposition, int budgetMs, const Clock& clock) {
    int pause = std::max(1, (budgetMs + 127) / 256);
    int left = budgetMs;
    for (;;) {
        FileHandle handle = openOnce(path, access, share, disposition);
        if (handle.valid() || handle.error() != EWOULDBLOCK || left <= pause) {
            return handle;
        }
        clock.Sleep(pause);
        left -= pause;
        pause *= 2;
    }
}

FileHandle OpenFileWithRetry(const std::string& path, FileAccess access, FileShare share,
                             FileDisposition disposition, int budgetMs) {
    static const SystemClock clock;
    return OpenFileWithRetry(path, access, share, disposition, budgetMs, clock);
}

bool FileHandle::writeAll(const char* data, std::size_t size) const {
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace sonaro
