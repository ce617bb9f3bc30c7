#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "recordings/recording_folder.h"

namespace sonaro {

// The length in milliseconds of the recording at `path` from its reader's headers (an MP3 file is
// scanned whole); 0 when it cannot be read.
std::int64_t ReadRecordingLengthMs(const std::string& path);

// Lengths for the recordings list. MP3 lengths cost a scan of the whole file, so they are kept
// by path, size and modification time and measured again only when one of those changed; the
// other formats read a header and are measured every time.
//
// Owned by the window and shared with its scans: usable from any thread.
class RecordingLengthCache {
  public:
    using Reader = std::function<std::int64_t(const std::string& path)>;

    explicit RecordingLengthCache(Reader reader = ReadRecordingLengthMs);

    std::int64_t lengthMs(const RecordingFile& file);
    std::size_t size() const;

  private:
    struct Entry {
        std::uint64_t size;
        std::int64_t modifiedNs;
        std::int64_t lengthMs;
    };

    Reader m_reader;
    mutable std::mutex m_lock;
    std::unordered_map<std::string, Entry> m_lengths;
};

}  // namespace sonaro
