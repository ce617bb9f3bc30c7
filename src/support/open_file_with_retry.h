#pragma once

#include <string>

#include "support/clock.h"

namespace sonaro {

enum class FileAccess { Read, Write, ReadWrite };

// What other openers may do while the file is open. Kept as an advisory flock for as long as
// the handle is open (see ARCHITECTURE.md, "Files shared between threads and processes").
enum class FileShare { None, Read, Write, ReadWrite };

enum class FileDisposition {
    CreateNew,         // fails when the file exists
    CreateAlways,      // creates, or empties an existing file once its lock is held
    OpenExisting,      // fails when the file is missing
    OpenAlways,        // opens, or creates when missing
    TruncateExisting,  // fails when missing; empties the file once its lock is held
};

// An open file descriptor and the lock that carries its sharing mode; closing releases both.
class FileHandle {
  public:
    FileHandle() = default;
    FileHandle(int fd, int error) : m_fd(fd), m_error(error) {}
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // errno of the failed open; EWOULDBLOCK when another opener's sharing mode refused us.
    int error() const { return m_error; }
    void close();
    // Writes every byte at the current position; false on the first failure (errno kept).
    bool writeAll(const char* data, std::size_t size) const;

  private:
    int m_fd = -1;
    int m_error = 0;
};

// Opens `path`; while another opener's sharing mode refuses ours, sleeps and tries again. The
// first pause is (budgetMs + 127) / 256 ms (at least 1), each later pause doubles, and pauses
// come out of the budget; gives up on any other error or when the rest of the budget is not
// larger than the next pause. Blocks the calling thread for at most about `budgetMs`.
// Only regular files are opened: a folder fails with EISDIR, a FIFO, device or socket with EINVAL,
// without waiting for a writer or a device.
FileHandle OpenFileWithRetry(const std::string& path, FileAccess access, FileShare share,
                             FileDisposition disposition, int budgetMs, const Clock& clock);
FileHandle OpenFileWithRetry(const std::string& path, FileAccess access, FileShare share,
                             FileDisposition disposition, int budgetMs);

}  // namespace sonaro
