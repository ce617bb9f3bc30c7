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
// other formats read a header and are measured every time. Entries that are not regular files
// are never opened: their length is 0.
//
// With a cache file, the MP3 lengths outlive the program: the file is read when the cache is
// made and written by `Save`. A damaged or cut-off file costs only the entries it lost.
//
// Owned by the window and shared with its scans: usable from any thread.
class RecordingLengthCache {
  public:
    using Reader = std::function<std::int64_t(const std::string& path)>;
    // The cache file's name in the per-user data folder.
    static constexpr const char* kFileName = "mp3-lengths.txt";
    // A larger file is no cache of ours: it is ignored (and replaced at the next save).
    static constexpr std::int64_t kMaxFileBytes = 64 << 20;

    explicit RecordingLengthCache(Reader reader = ReadRecordingLengthMs, std::string file = {});

    std::int64_t lengthMs(const RecordingFile& file);
    std::size_t size() const;

    // Writes the lengths to the cache file when any was measured since it was read, under a
    // temporary name renamed into place; entries whose file is gone or changed are left out.
    // False when the file could not be written.
    bool Save();

  private:
    struct Entry {
        std::uint64_t size;
        std::int64_t modifiedNs;
        std::int64_t lengthMs;
    };

    void load();

    Reader m_reader;
    std::string m_file;
    mutable std::mutex m_lock;
    std::unordered_map<std::string, Entry> m_lengths;
    bool m_changed = false;
};

}  // namespace sonaro
