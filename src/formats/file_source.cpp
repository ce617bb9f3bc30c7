#include "formats/file_source.h"

#include <algorithm>
#include <utility>

namespace sonaro {

FileSource::FileSource(ReadOnlyFile file, int rate, std::int32_t peakBound, int channels,
                       std::int64_t length)
    : AudioSource(rate, peakBound, channels), m_file(std::move(file)), m_length(length) {}

void FileSource::Read(InternalSample* dest, int frames) {
    if (frames <= 0) {
        return;
    }
    const auto channelCount = static_cast<std::size_t>(channels());
    int done = 0;
    while (done < frames && m_position < m_length) {
        const int want = static_cast<int>(
            std::min<std::int64_t>({frames - done, kMaxBlockFrames, m_length - m_position}));
        InternalSample* out = dest + static_cast<std::size_t>(done) * channelCount;
        const int got = std::clamp(readFrames(m_position, out, want), 0, want);
        std::fill(out + static_cast<std::size_t>(got) * channelCount,
                  out + static_cast<std::size_t>(want) * channelCount, 0);
        done += want;
        m_position += want;
    }
    std::fill(dest + static_cast<std::size_t>(done) * channelCount,
              dest + static_cast<std::size_t>(frames) * channelCount, 0);
    m_position += frames - done;
}

}  // namespace sonaro
