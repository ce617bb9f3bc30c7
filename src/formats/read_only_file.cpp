#include "formats/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <limits>
#include <utility>

namespace sonaro {

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(std::exchange(other.m_size, 0)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

bool ReadOnlyFile::Open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* out, std::size_t bytes) const {
    if (m_fd < 0 || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        return 0;
    }
    auto* cursor = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got =
            ::pread(m_fd, cursor + done, bytes - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint64_t ReadOnlyFile::currentSize() const {
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || info.st_size < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

double ReadOnlyFile::secondsSinceModified() const {
    struct stat info {};
    timespec now{};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || ::clock_gettime(CLOCK_REALTIME, &now) != 0) {
        return 1e9;
    }
    return static_cast<double>(now.tv_sec - info.st_mtim.tv_sec) +
           static_cast<double>(now.tv_nsec - info.st_mtim.tv_nsec) / 1e9;
}

void ReadOnlyFile::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
}

}  // namespace sonaro
