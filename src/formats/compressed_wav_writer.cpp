#include "formats/compressed_wav_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/byte_order.h"
#include "formats/wav_header.h"

namespace sonaro {

CompressedWavWriter::CompressedWavWriter(const std::string& path, const WaveFormat& target,
                                         const CodecManager& codecs)
    : FileWriter(static_cast<int>(target.samplesPerSec),
                 target.channels == 0 ? 1 : target.channels),
      m_target(target) {
    WaveFormat source;
    source.channels = static_cast<std::uint16_t>(channels());
    source.samplesPerSec = target.samplesPerSec;
    source.blockAlign = static_cast<std::uint16_t>(2 * source.channels);
    source.avgBytesPerSec = source.blockAlign * source.samplesPerSec;
    m_stream = codecs.OpenStream(source, target);
    if (m_stream == nullptr) {
        refuseFormat("No codec can record format tag " + std::to_string(target.formatTag) + " at " +
                     std::to_string(target.samplesPerSec) + " Hz with " +
                     std::to_string(target.channels) + " channel(s).");
        return;
    }
    m_source.resize(static_cast<std::size_t>(kMaxBlockFrames) * source.blockAlign);
    m_destination.resize(m_stream->DestinationSize(m_source.size()));
    if (m_destination.empty()) {
        markUnusable();
        return;
    }
    const std::vector<std::uint8_t> placeholder = header(std::nullopt);
    if (openFile(path, placeholder.data(), placeholder.size())) {
        setCheckpointInterval(std::uint64_t{kCheckpointSeconds} * m_target.avgBytesPerSec);
    }
}

void CompressedWavWriter::checkpoint() {
    // Called while a conversion's output is being appended: whole blocks on disk count.
    const std::uint64_t data = fileEnd() - placeholderBytes();
    const std::uint64_t block = std::max<std::uint64_t>(m_target.blockAlign, 1);
    const std::vector<std::uint8_t> refreshed = header(data - data % block, true);
    rewriteHeader(refreshed.data(), refreshed.size());
}

std::size_t CompressedWavWriter::placeholderBytes() const {
    return WavHeaderBytes(kWavFormatFieldsBytes + m_target.extra.size());
}

CompressedWavWriter::~CompressedWavWriter() {
    if (!isOpen()) {
        return;
    }
    convert(ConvertMode::End);
    // After a failed write the file may end in a cut block, which the total leaves out.
    truncateTo(placeholderBytes() + m_total);
    const std::vector<std::uint8_t> final = header(m_total);
    rewriteHeader(final.data(), final.size());
    closeFile();
}

std::vector<std::uint8_t> CompressedWavWriter::header(std::optional<std::uint64_t> dataBytes,
                                                      bool stillOpen) const {
    WavFormatFields fields{m_target.formatTag,      m_target.channels,   m_target.samplesPerSec,
                           m_target.avgBytesPerSec, m_target.blockAlign, m_target.bitsPerSample,
                           m_target.extra};
    std::vector<std::uint8_t> chunk(kWavFormatFieldsBytes + m_target.extra.size());
    EncodeWavFormatFields(fields, chunk.data());
    std::vector<std::uint8_t> result(WavHeaderBytes(chunk.size()));
    EncodeWavHeader(chunk.data(), chunk.size(), dataBytes, result.data(), stillOpen);
    return result;
}

void CompressedWavWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    if (!isOpen()) {
        return;
    }
    std::size_t remaining = static_cast<std::size_t>(frames) * channels();
    while (remaining > 0) {
        const std::size_t room = (m_source.size() - m_sourceFilled) / 2;
        const std::size_t count = std::min(room, remaining);
        std::uint8_t* out = m_source.data() + m_sourceFilled;
        for (std::size_t i = 0; i < count; ++i) {
            PutLe16(out + 2 * i, static_cast<std::uint16_t>(ToPcm16(samples[i])));
        }
        m_sourceFilled += 2 * count;
        samples += count;
        remaining -= count;
        if (!convert(ConvertMode::BlockAlign)) {
            return;  // the stream is stuck on a full buffer: the rest of the block is dropped
        }
    }
}

bool CompressedWavWriter::convert(ConvertMode mode) {
    StreamHeader stream;
    stream.source = m_source.data();
    stream.sourceLength = m_sourceFilled;
    stream.destination = m_destination.data();
    stream.destinationLength = m_destination.size();
    m_stream->Convert(stream, mode);
    if (stream.sourceUsed == 0 && m_sourceFilled == m_source.size()) {
        return false;
    }
    if (stream.destinationUsed > 0 && appendData(m_destination.data(), stream.destinationUsed)) {
        m_total += stream.destinationUsed;
    }
    std::memmove(m_source.data(), m_source.data() + stream.sourceUsed,
                 m_sourceFilled - stream.sourceUsed);
    m_sourceFilled -= stream.sourceUsed;
    return true;
}

}  // namespace sonaro
