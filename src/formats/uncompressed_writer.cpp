#include "formats/uncompressed_writer.h"

#include <algorithm>

namespace sonaro {

UncompressedWriter::UncompressedWriter(int sampleRate, int channels, int bytesPerSample,
                                       std::size_t headerBytes)
    : FileWriter(sampleRate, channels),
      m_frameBytes(bytesPerSample * channels),
      m_headerBytes(headerBytes),
      m_buffer(static_cast<std::size_t>(kMaxBlockFrames) * m_frameBytes) {}

void UncompressedWriter::open(const std::string& path) {
    if (m_frameBytes <= 0 || sampleRate() <= 0) {
        markUnusable();
        return;
    }
    std::vector<std::uint8_t> header(m_headerBytes);
    encodeHeader(std::nullopt, false, header.data());
    if (openFile(path, header.data(), header.size())) {
        setCheckpointInterval(static_cast<std::uint64_t>(kCheckpointSeconds) * sampleRate() *
                              m_frameBytes);
    }
}

void UncompressedWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    while (frames > 0 && isOpen() && !hasFailed()) {
        const int chunk = std::min(frames, kMaxBlockFrames);
        convert(samples, chunk * channels(), m_buffer.data());
        appendData(m_buffer.data(), static_cast<std::size_t>(chunk) * m_frameBytes);
        samples += static_cast<std::ptrdiff_t>(chunk) * channels();
        frames -= chunk;
    }
}

void UncompressedWriter::SeekTo(std::int64_t frame) {
    if (frame > position()) {
        return;
    }
    frame = std::max<std::int64_t>(frame, 0);
    setPosition(frame);
    truncateTo(m_headerBytes + static_cast<std::uint64_t>(frame) * m_frameBytes);
}

std::uint64_t UncompressedWriter::dataBytesOnDisk() const {
    const std::uint64_t data = fileEnd() - m_headerBytes;
    return data - data % static_cast<std::uint64_t>(m_frameBytes);
}

void UncompressedWriter::checkpoint() {
    std::vector<std::uint8_t> header(m_headerBytes);
    encodeHeader(dataBytesOnDisk(), true, header.data());
    rewriteHeader(header.data(), header.size());
}

void UncompressedWriter::finish() {
    if (!isOpen()) {
        return;
    }
    // After a failed write the last frame may be cut; the header describes whole frames only.
    const std::uint64_t data = dataBytesOnDisk();
    truncateTo(m_headerBytes + data);
    std::vector<std::uint8_t> header(m_headerBytes);
    encodeHeader(data, false, header.data());
    rewriteHeader(header.data(), header.size());
    closeFile();
}

}  // namespace sonaro
