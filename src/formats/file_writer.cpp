#include "formats/file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sonaro {
namespace {

// Writes all bytes at `offset`; gives the bytes written before a failure (errno set).
std::size_t writeAllAt(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written =
            ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = ENOSPC;
            }
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    return done;
}

}  // namespace

FileWriter::~FileWriter() {
    closeFile();
}

std::string FileWriter::WriteError() const {
    return hasFailed() ? m_error : std::string();
}

void FileWriter::recordError(const char* action, int error) {
    if (!hasFailed()) {
        m_error = std::string(action) + " \"" + m_path + "\": " + std::strerror(error);
        m_failed.store(true, std::memory_order_release);
    }
}

void FileWriter::refuseFormat(const std::string& reason) {
    if (!hasFailed()) {
        m_error = reason;
        m_failed.store(true, std::memory_order_release);
    }
    markFormatRefused();
}

bool FileWriter::openFile(const std::string& path, const std::uint8_t* header,
                          std::size_t headerBytes) {
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        recordError("Cannot create", errno);
        markUnusable();
        return false;
    }
    if (writeAllAt(m_fd, header, headerBytes, 0) != headerBytes) {
        recordError("Cannot write to", errno);
        markUnusable();
        // Nothing of the recording is in it: a file the size of a partial header helps no one.
        ::close(m_fd);
        m_fd = -1;
        ::unlink(path.c_str());
        return false;
    }
    m_end = headerBytes;
    return true;
}

bool FileWriter::appendData(const std::uint8_t* data, std::size_t size) {
    if (m_fd < 0 || hasFailed()) {
        return false;
    }
    const std::size_t written = writeAllAt(m_fd, data, size, m_end);
    m_end += written;
    if (written != size) {
        recordError("Cannot write to", errno);
        return false;
    }
    m_sinceCheckpoint += size;
    if (m_checkpointBytes > 0 && m_sinceCheckpoint >= m_checkpointBytes) {
        syncData();
    }
    return !hasFailed();
}

void FileWriter::syncData() {
    m_sinceCheckpoint = 0;
    if (m_fd < 0 || hasFailed()) {
        return;
    }
    checkpoint();
    // A device such as /dev/null cannot be synced (EINVAL) and needs no sync.
    if (!hasFailed() && ::fdatasync(m_fd) != 0 && errno != EINVAL) {
        recordError("Cannot write to", errno);
    }
}

void FileWriter::setCheckpointInterval(std::uint64_t bytes) {
    m_checkpointBytes = bytes;
    m_sinceCheckpoint = 0;
}

void FileWriter::truncateTo(std::uint64_t size) {
    if (m_fd < 0 || size >= m_end) {
        return;
    }
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
        recordError("Cannot shorten", errno);
        return;
    }
    m_end = size;
}

void FileWriter::rewriteHeader(const std::uint8_t* header, std::size_t headerBytes) {
    rewriteAt(0, header, headerBytes);
}

void FileWriter::rewriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    if (m_fd >= 0 && writeAllAt(m_fd, data, size, offset) != size) {
        recordError("Cannot write to", errno);
    }
}

void FileWriter::closeFile() {
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) {
            recordError("Cannot close", errno);
        }
        m_fd = -1;
    }
}

}  // namespace sonaro
