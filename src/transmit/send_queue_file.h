#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

class ProgramLog;

// The send queue file "bgsend.lst": an 8-byte little-endian header (version 1, start-up
// attempts, record size 260) and one 260-byte record per recording, its path NUL-terminated.
//
// Every operation holds an exclusive lock on "<path>.lock" for its whole run, so an append of
// the user-interface thread never lands in a copy that a removal is about to rename away. A
// removal writes the new queue beside the old one, syncs it and renames it over the old one, so
// a crash leaves either queue, never a mix. A tail that is not a whole record (a crash during an
// append) is cut off before the next read or append; every recording that leaves the queue
// unsent is named in the program log.
//
// Any thread; the lock serialises threads and processes alike.
class SendQueueFile {
  public:
    static constexpr std::size_t kHeaderBytes = 8;
    static constexpr std::size_t kRecordBytes = 260;
    static constexpr std::uint16_t kVersion = 1;
    static constexpr int kOpenBudgetMs = 5000;

    struct Header {
        std::uint16_t version = kVersion;
        std::uint16_t attempts = 0;
        std::uint32_t recordBytes = kRecordBytes;
    };

    enum class ResumeOutcome { Resumed, Removed };

    // `log` may be null (nothing is logged then).
    SendQueueFile(std::string path, ProgramLog* log) : m_path(std::move(path)), m_log(log) {}

    const std::string& path() const { return m_path; }

    // Appends a record for `recordingPath` (a header first when the file is new or empty) and
    // syncs it. False when it could not be written, or when the path does not fit a record
    // (more than 259 bytes): such a recording is logged as not queued.
    bool Append(const std::string& recordingPath);

    // The first record's path; nothing when the queue holds no whole record. A queue that holds
    // only a cut-off record is removed.
    std::optional<std::string> ReadFirst();

    // Removes the first record: the rest is written beside the file with a fresh header
    // (attempts 0) and renamed over it; with no rest the file becomes empty.
    bool RemoveFirst();

    // The start-up step: a queue whose header is whole, of version 1 and record size 260 and
    // whose attempts are not above `failCount` gets its attempts raised by one and is resumed,
    // when it holds at least one record. Every other file is removed (its recordings logged as
    // not sent); a missing file stays missing.
    ResumeOutcome Resume(int failCount);

    // Removes the file; each recording still queued is logged as not sent, with `why`.
    void Discard(std::string_view why);

    // Every whole record, first first.
    std::vector<std::string> Records();

  private:
    void logLine(std::string_view prefix, std::string_view text) const;
    void logUnsent(const std::vector<std::string>& records, std::string_view why) const;

    std::string m_path;
    ProgramLog* m_log;
};

// The header and record bytes of the queue file (tests write odd files with them).
std::string EncodeQueueHeader(const SendQueueFile::Header& header);
std::string EncodeQueueRecord(std::string_view recordingPath);

}  // namespace sonaro
