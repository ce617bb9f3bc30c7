#include "transmit/send_queue_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/open_file_with_retry.h"
#include "support/program_log.h"

namespace sonaro {
namespace {

constexpr std::size_t kMaxPathBytes = SendQueueFile::kRecordBytes - 1;

void putLe16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

std::uint32_t getLe(std::string_view bytes, std::size_t offset, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value =
            (value << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::optional<SendQueueFile::Header> parseHeader(std::string_view content) {
    if (content.size() < SendQueueFile::kHeaderBytes) {
        return std::nullopt;
    }
    SendQueueFile::Header header;
    header.version = static_cast<std::uint16_t>(getLe(content, 0, 2));
    header.attempts = static_cast<std::uint16_t>(getLe(content, 2, 2));
    header.recordBytes = getLe(content, 4, 4);
    return header;
}

bool isUsable(const SendQueueFile::Header& header) {
    return header.version == SendQueueFile::kVersion &&
           header.recordBytes == SendQueueFile::kRecordBytes;
}

std::size_t wholeRecords(std::size_t size) {
    return size > SendQueueFile::kHeaderBytes
               ? (size - SendQueueFile::kHeaderBytes) / SendQueueFile::kRecordBytes
               : 0;
}

std::size_t tailBytes(std::size_t size) {
    return size > SendQueueFile::kHeaderBytes
               ? (size - SendQueueFile::kHeaderBytes) % SendQueueFile::kRecordBytes
               : 0;
}

// The text of a record (or of the start of one): up to its NUL, never past byte 259.
std::string recordText(std::string_view bytes) {
    bytes = bytes.substr(0, kMaxPathBytes);
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::vector<std::string> parseRecords(std::string_view content) {
    std::vector<std::string> records;
    const std::size_t count = wholeRecords(content.size());
    for (std::size_t i = 0; i < count; ++i) {
        records.push_back(
            recordText(content.substr(SendQueueFile::kHeaderBytes + i * SendQueueFile::kRecordBytes,
                                      SendQueueFile::kRecordBytes)));
    }
    return records;
}

bool readAll(int fd, std::string& content) {
    content.clear();
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return false;
    }
    // One read for the whole queue; a file grown meanwhile is read on in slices.
    std::size_t size = static_cast<std::size_t>(info.st_size) + 1;
    for (;;) {
        const std::size_t had = content.size();
        content.resize(had + size);
        const ssize_t got = pread(fd, content.data() + had, size, static_cast<off_t>(had));
        if (got < 0 && errno == EINTR) {
            content.resize(had);
            continue;
        }
        if (got <= 0) {
            content.resize(had);
            return got == 0;
        }
        content.resize(had + static_cast<std::size_t>(got));
        size = 8192;
    }
}

bool writeAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t done = pwrite(fd, bytes.data(), bytes.size(), offset);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
        offset += done;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A rename is durable only once the folder that holds both names is synced.
void syncFolder(const std::string& path) {
    const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

FileHandle lockQueue(const std::string& path) {
    return OpenFileWithRetry(path + ".lock", FileAccess::ReadWrite, FileShare::None,
                             FileDisposition::OpenAlways, SendQueueFile::kOpenBudgetMs);
}

// The queue itself: the lock file already keeps every other opener out.
FileHandle openQueue(const std::string& path, FileDisposition disposition) {
    return OpenFileWithRetry(path, FileAccess::ReadWrite, FileShare::ReadWrite, disposition,
                             SendQueueFile::kOpenBudgetMs);
}

}  // namespace

std::string EncodeQueueHeader(const SendQueueFile::Header& header) {
    std::string bytes;
    putLe16(bytes, header.version);
    putLe16(bytes, header.attempts);
    putLe16(bytes, static_cast<std::uint16_t>(header.recordBytes & 0xFFFF));
    putLe16(bytes, static_cast<std::uint16_t>(header.recordBytes >> 16));
    return bytes;
}

std::string EncodeQueueRecord(std::string_view recordingPath) {
    std::string record(SendQueueFile::kRecordBytes, '\0');
    const std::size_t length = std::min(recordingPath.size(), kMaxPathBytes);
    std::memcpy(record.data(), recordingPath.data(), length);
    return record;
}

void SendQueueFile::logLine(std::string_view prefix, std::string_view text) const {
    if (m_log != nullptr) {
        m_log->Log(prefix, text);
    }
}

void SendQueueFile::logUnsent(const std::vector<std::string>& records, std::string_view why) const {
    for (const std::string& record : records) {
        logLine("Recording not sent (" + std::string(why) + "): ", record);
    }
}

bool SendQueueFile::Append(const std::string& recordingPath) {
    if (recordingPath.size() > kMaxPathBytes || recordingPath.find('\0') != std::string::npos) {
        logLine(
            "Recording not queued for sending (the path does not fit the send queue's "
            "259 bytes): ",
            recordingPath);
        return false;
    }
    const FileHandle lock = lockQueue(m_path);
    const FileHandle file = openQueue(m_path, FileDisposition::OpenAlways);
    std::string content;
    if (!lock.valid() || !file.valid() || !readAll(file.fd(), content)) {
        logLine("Recording not queued for sending (" + m_path + ": " +
                    std::strerror(lock.valid() ? file.error() : lock.error()) + "): ",
                recordingPath);
        return false;
    }
    std::string bytes;
    off_t at = static_cast<off_t>(content.size());
    const std::optional<Header> header = parseHeader(content);
    if (!header || !isUsable(*header)) {
        if (!content.empty()) {
            logLine("The send queue was not readable and was started anew: ", m_path);
            logUnsent(header ? parseRecords(content) : std::vector<std::string>{},
                      "the queue was not readable");
        }
        at = 0;
        bytes = EncodeQueueHeader({});
    } else if (const std::size_t tail = tailBytes(content.size()); tail > 0) {
        at = static_cast<off_t>(content.size() - tail);
        logLine("A cut-off record was dropped from the send queue: ",
                recordText(content.substr(static_cast<std::size_t>(at))));
    }
    bytes += EncodeQueueRecord(recordingPath);
    // The file never ends in part of a record: a failed write is cut back at once, one cut short
    // by a crash is cut back by the next read or append.
    if (ftruncate(file.fd(), at) != 0 || !writeAt(file.fd(), bytes, at) || fsync(file.fd()) != 0) {
        const int error = errno;
        if (ftruncate(file.fd(), at) != 0) {
            // The tail stays; the size shows it is not a whole record.
        }
        logLine("Recording not queued for sending (" + m_path + ": " + std::strerror(error) + "): ",
                recordingPath);
        return false;
    }
    return true;
}

std::optional<std::string> SendQueueFile::ReadFirst() {
    const FileHandle lock = lockQueue(m_path);
    if (!lock.valid()) {
        return std::nullopt;
    }
    const FileHandle file = openQueue(m_path, FileDisposition::OpenExisting);
    std::string content;
    if (!file.valid() || !readAll(file.fd(), content)) {
        return std::nullopt;
    }
    const std::size_t count = wholeRecords(content.size());
    const std::size_t tail = tailBytes(content.size());
    if (tail > 0) {
        const std::size_t whole = content.size() - tail;
        logLine("A cut-off record was dropped from the send queue: ",
                recordText(content.substr(whole)));
        if (count == 0) {
            ::unlink(m_path.c_str());
            return std::nullopt;
        }
        if (ftruncate(file.fd(), static_cast<off_t>(whole)) == 0) {
            fsync(file.fd());
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    return recordText(content.substr(kHeaderBytes, kRecordBytes));
}

bool SendQueueFile::RemoveFirst() {
    const FileHandle lock = lockQueue(m_path);
    if (!lock.valid()) {
        return false;
    }
    std::string content;
    {
        const FileHandle file = openQueue(m_path, FileDisposition::OpenExisting);
        if (!file.valid()) {
            return file.error() == ENOENT;
        }
        if (!readAll(file.fd(), content)) {
            return false;
        }
    }
    std::string rest;
    if (wholeRecords(content.size()) > 1) {
        rest = EncodeQueueHeader({}) +
               content.substr(kHeaderBytes + kRecordBytes,
                              (wholeRecords(content.size()) - 1) * kRecordBytes);
    }
    const std::string fresh = m_path + ".new";
    const int fd =
        ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAt(fd, rest, 0) && fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(fresh.c_str(), m_path.c_str()) != 0) {
        ::unlink(fresh.c_str());
        return false;
    }
    syncFolder(m_path);
    return true;
}

SendQueueFile::ResumeOutcome SendQueueFile::Resume(int failCount) {
    const FileHandle lock = lockQueue(m_path);
    if (!lock.valid()) {
        return ResumeOutcome::Removed;
    }
    std::string content;
    {
        const FileHandle file = openQueue(m_path, FileDisposition::OpenExisting);
        if (!file.valid() || !readAll(file.fd(), content)) {
            return ResumeOutcome::Removed;
        }
        const std::optional<Header> header = parseHeader(content);
        if (header && isUsable(*header) && header->attempts <= failCount &&
            header->attempts < UINT16_MAX) {
            if (wholeRecords(content.size()) > 0) {
                std::string attempts;
                putLe16(attempts, static_cast<std::uint16_t>(header->attempts + 1));
                if (writeAt(file.fd(), attempts, 2)) {
                    fsync(file.fd());
                }
                return ResumeOutcome::Resumed;
            }
        } else if (header && isUsable(*header)) {
            logUnsent(parseRecords(content),
                      "start-up attempts " + std::to_string(header->attempts) +
                          " exceed the allowed " + std::to_string(failCount));
        } else if (!content.empty()) {
            logLine("The send queue was not readable and was removed: ", m_path);
        }
        if (tailBytes(content.size()) > 0) {
            logLine("A cut-off record was dropped from the send queue: ",
                    recordText(content.substr(content.size() - tailBytes(content.size()))));
        }
    }
    ::unlink(m_path.c_str());
    return ResumeOutcome::Removed;
}

void SendQueueFile::Discard(std::string_view why) {
    const FileHandle lock = lockQueue(m_path);
    if (!lock.valid()) {
        return;
    }
    {
        const FileHandle file = openQueue(m_path, FileDisposition::OpenExisting);
        std::string content;
        if (file.valid() && readAll(file.fd(), content)) {
            logUnsent(parseRecords(content), why);
        }
    }
    ::unlink(m_path.c_str());
}

std::vector<std::string> SendQueueFile::Records() {
    const FileHandle lock = lockQueue(m_path);
    const FileHandle file = openQueue(m_path, FileDisposition::OpenExisting);
    std::string content;
    if (!lock.valid() || !file.valid() || !readAll(file.fd(), content)) {
        return {};
    }
    return parseRecords(content);
}

}  // namespace sonaro
