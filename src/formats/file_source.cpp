#include "formats/file_source.h"

#include <algorithm>
#include <utility>

#include "formats/byte_order.h"

namespace sonaro {

FileSource::FileSource(ReadOnlyFile file, int rate, std::int32_t peakBound, int channels,
                       std::int64_t length)
    : AudioSource(rate, peakBound, channels), m_file(std::move(file)), m_length(length) {}

void FileSource::followGrowth(const GrowthProbe& probe) {
    m_probe = probe;
    m_following = probe.unitBytes > 0;
    refreshGrowth();
}

bool FileSource::refreshGrowth() const {
    if (!m_following) {
        return false;
    }
    std::uint8_t field[4];
    const bool open = m_file.ReadExactly(m_probe.fieldOffset, field, sizeof field) &&
                      (m_probe.bigEndian ? GetBe32(field) : GetLe32(field)) == m_probe.openValue;
    const std::uint64_t size = m_file.currentSize();
    const std::uint64_t data = size > m_probe.dataOffset ? size - m_probe.dataOffset : 0;
    m_length = static_cast<std::int64_t>(data / m_probe.unitBytes * m_probe.unitFrames);
    m_following = open;
    return open;
}

std::int64_t FileSource::GetLength() const {
    refreshGrowth();
    return m_length;
}

bool FileSource::IsGrowing() const {
    return refreshGrowth() && m_file.secondsSinceModified() < kGrowingSeconds;
}

void FileSource::Read(InternalSample* dest, int frames) {
    if (frames <= 0) {
        return;
    }
    if (m_position + frames > m_length) {
        refreshGrowth();
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
