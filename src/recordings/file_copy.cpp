#include "recordings/file_copy.h"
#include "support/write_fully.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

namespace sonaro {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

  private:
    int m_fd;
};

CopyOutcome Failure(const char* action, const std::string& path, int error) {
    return {CopyResult::Failed, std::string(action) + " " + path + ": " + std::strerror(error)};
}

// Puts the finished temporary file in place; without `replace`, only where nothing is.
int Install(const std::string& temporary, const std::string& target, bool replace) {
    if (replace) {
        return ::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails just as surely on an existing name.
    if (::link(temporary.c_str(), target.c_str()) != 0) {
        return errno;
    }
    ::unlink(temporary.c_str());
    return 0;
}

}  // namespace

void JobShare::ReportProgress(double fraction) const {
    m_job.ReportProgress(m_start + m_size * std::clamp(fraction, 0.0, 1.0));
}

CopyOutcome CopyFileWithProgress(const std::string& source, const std::string& target, bool replace,
                                 const JobShare& job) {
    Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat facts {};
    if (input.get() < 0 || ::fstat(input.get(), &facts) != 0) {
        return Failure("Cannot open", source, errno);
    }
    if (!S_ISREG(facts.st_mode)) {
        return Failure("Cannot copy", source, EINVAL);
    }
    std::error_code exists;
    if (!replace && std::filesystem::exists(std::filesystem::symlink_status(target, exists))) {
        return Failure("Cannot replace", target, EEXIST);
    }
    const std::filesystem::path targetPath(target);
    std::string hidden(".");
    hidden.append(targetPath.filename().string()).append(".XXXXXX");
    std::string temporary = (targetPath.parent_path() / hidden).string();
    Descriptor output(::mkostemp(temporary.data(), O_CLOEXEC));
    if (output.get() < 0) {
        return Failure("Cannot create a file in", targetPath.parent_path().string(), errno);
    }
    ::fchmod(output.get(), facts.st_mode & 0777);
    const auto abandon = [&](CopyOutcome outcome) {
        ::unlink(temporary.c_str());
        return outcome;
    };
    std::vector<char> buffer(kChunkBytes);
    const double total = facts.st_size > 0 ? static_cast<double>(facts.st_size) : 1.0;
    std::uint64_t copied = 0;
    for (;;) {
        if (job.IsStopRequested()) {
            return abandon({CopyResult::Cancelled, {}});
        }
        const ssize_t got = ::read(input.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return abandon(Failure("Cannot read", source, errno));
        }
        if (got == 0) {
            break;
        }
        if (!WriteFully(output.get(), buffer.data(), static_cast<std::size_t>(got))) {
            return abandon(Failure("Cannot write", target, errno));
        }
        copied += static_cast<std::uint64_t>(got);
        job.ReportProgress(static_cast<double>(copied) / total);
    }
    if (::fsync(output.get()) != 0 || ::close(output.release()) != 0) {
        return abandon(Failure("Cannot write", target, errno));
    }
    if (const int error = Install(temporary, target, replace); error != 0) {
        return abandon(Failure("Cannot create", target, error));
    }
    return {CopyResult::Copied, {}};
}

}  // namespace sonaro
