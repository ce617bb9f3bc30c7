#include "recordings/recording_length_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/time_conversion.h"
#include "formats/audio_file_opener.h"

namespace sonaro {
namespace {

// First line of the cache file; each further line is "<size> <mtime ns> <length ms> <path>".
constexpr std::string_view kHeader = "Sonaro MP3 lengths 1\n";

// Parses a number and the single blank after it; false on anything else.
template <typename Number>
bool takeNumber(std::string_view& line, Number& value) {
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (error != std::errc() || end == line.data() + line.size() || *end != ' ') {
        return false;
    }
    line.remove_prefix(static_cast<std::size_t>(end - line.data()) + 1);
    return true;
}

// The whole file when it is a regular file of reasonable size; O_NONBLOCK so that a FIFO put in
// its place cannot stop the window in open().
bool readSmallFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                    info.st_size <= RecordingLengthCache::kMaxFileBytes;
    if (ok) {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    return ok;
}

bool writeWhole(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool unchanged(const std::string& path, std::uint64_t size, std::int64_t modifiedNs) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::uint64_t>(info.st_size) == size &&
           static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec ==
               modifiedNs;
}

}  // namespace

std::int64_t ReadRecordingLengthMs(const std::string& path) {
    const SourceRef source = OpenRecordingFile(path);
    if (source->isUnusable()) {
        return 0;
    }
    return MsFromFrames(source->GetLength(), source->rate());
}

RecordingLengthCache::RecordingLengthCache(Reader reader, std::string file)
    : m_reader(std::move(reader)), m_file(std::move(file)) {
    if (!m_file.empty()) {
        load();
    }
}

void RecordingLengthCache::load() {
    std::string text;
    if (!readSmallFile(m_file, text)) {
        return;
    }
    // Whatever was not understood is replaced at the next save.
    m_changed = true;
    if (text.compare(0, kHeader.size(), kHeader) != 0) {
        return;
    }
    std::string_view rest(text);
    rest.remove_prefix(kHeader.size());
    bool damaged = false;
    // A line without its newline was cut off while being written: it is not trusted.
    for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        Entry entry{};
        if (takeNumber(line, entry.size) && takeNumber(line, entry.modifiedNs) &&
            takeNumber(line, entry.lengthMs) && entry.lengthMs >= 0 && !line.empty()) {
            m_lengths[std::string(line)] = entry;
        } else {
            damaged = true;
        }
    }
    m_changed = damaged || !rest.empty();
}

std::int64_t RecordingLengthCache::lengthMs(const RecordingFile& file) {
    if (!file.regular) {
        return 0;
    }
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
    m_changed = true;
    return length;
}

std::size_t RecordingLengthCache::size() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lengths.size();
}

bool RecordingLengthCache::Save() {
    std::vector<std::pair<std::string, Entry>> entries;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_file.empty() || !m_changed) {
            return true;
        }
        m_changed = false;
        entries.assign(m_lengths.begin(), m_lengths.end());
    }
    std::string text(kHeader);
    for (const auto& [path, entry] : entries) {
        // A path with a line break cannot be a line of the file; it is measured again next time.
        if (path.find('\n') != std::string::npos ||
            !unchanged(path, entry.size, entry.modifiedNs)) {
            continue;
        }
        char numbers[80];
        const int length = std::snprintf(
            numbers, sizeof numbers, "%llu %lld %lld ", static_cast<unsigned long long>(entry.size),
            static_cast<long long>(entry.modifiedNs), static_cast<long long>(entry.lengthMs));
        text.append(numbers, static_cast<std::size_t>(length)).append(path).push_back('\n');
    }
    const std::string temporary = m_file + ".new";
    const int fd = ::open(temporary.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool written = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && writeWhole(fd, text);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), m_file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        std::lock_guard<std::mutex> hold(m_lock);
        m_changed = true;
        return false;
    }
    return true;
}

}  // namespace sonaro
