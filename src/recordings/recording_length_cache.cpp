#include "recordings/recording_length_cache.h"

#include <utility>

#include "audio/time_conversion.h"
#include "formats/audio_file_opener.h"

namespace sonaro {

std::int64_t ReadRecordingLengthMs(const std::string& path) {
    const SourceRef source = OpenRecordingFile(path);
    if (source->isUnusable()) {
        return 0;
    }
    return MsFromFrames(source->GetLength(), source->rate());
}

RecordingLengthCache::RecordingLengthCache(Reader reader) : m_reader(std::move(reader)) {}

std::int64_t RecordingLengthCache::lengthMs(const RecordingFile& file) {
    if (LowerExtension(file.path) != ".mp3") {
        return m_reader(file.path);
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_lengths.find(file.path);
        if (found != m_lengths.end() && found->second.size == file.size &&
            found->second.modifiedNs == file.modifiedNs) {
            return found->second.lengthMs;
        }
    }
    // Measured outside the lock: a scan of a long file must not hold up other users.
    const std::int64_t length = m_reader(file.path);
    std::lock_guard<std::mutex> hold(m_lock);
    m_lengths[file.path] = Entry{file.size, file.modifiedNs, length};
    return length;
}

std::size_t RecordingLengthCache::size() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lengths.size();
}

}  // namespace sonaro
