#include "formats/pcm_file_source.h"

#include <utility>

namespace sonaro {

bool IsReadableLayout(const PcmLayout& layout) {
    return layout.rate > 0 && layout.channels >= 1 && layout.channels <= 255 &&
           layout.frameBytes >= layout.channels * BytesPerSample(layout.coding);
}

PcmFileSource::PcmFileSource(ReadOnlyFile file, const PcmLayout& layout)
    : FileSource(std::move(file), layout.rate, PeakBoundOf(layout.coding), layout.channels,
                 static_cast<std::int64_t>(layout.frames)),
      m_layout(layout),
      m_bytes(static_cast<std::size_t>(kMaxBlockFrames) *
              static_cast<std::size_t>(layout.frameBytes)) {
    if (layout.growth.has_value()) {
        GrowthProbe probe = *layout.growth;
        probe.dataOffset = layout.dataOffset;
        probe.unitBytes = static_cast<std::uint64_t>(layout.frameBytes);
        followGrowth(probe);
    }
}

int PcmFileSource::readFrames(std::int64_t first, InternalSample* dest, int frames) {
    const auto frameBytes = static_cast<std::size_t>(m_layout.frameBytes);
    const std::size_t got =
        file().ReadAt(m_layout.dataOffset + static_cast<std::uint64_t>(first) * frameBytes,
                      m_bytes.data(), static_cast<std::size_t>(frames) * frameBytes);
    const std::size_t whole = got / frameBytes;
    const auto channels = static_cast<std::size_t>(m_layout.channels);
    if (frameBytes == channels * static_cast<std::size_t>(BytesPerSample(m_layout.coding))) {
        DecodeSamples(m_layout.coding, m_bytes.data(), whole * channels, dest);
    } else {
        for (std::size_t f = 0; f < whole; ++f) {
            DecodeSamples(m_layout.coding, m_bytes.data() + f * frameBytes, channels,
                          dest + f * channels);
        }
    }
    return static_cast<int>(whole);
}

}  // namespace sonaro
