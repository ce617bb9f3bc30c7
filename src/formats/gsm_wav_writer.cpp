#include "formats/gsm_wav_writer.h"

#include <algorithm>

#include "formats/wav_header.h"

namespace sonaro {

GsmWavWriter::GsmWavWriter(const std::string& path, int sampleRate) : FileWriter(sampleRate, 1) {
    if (!m_codec.valid()) {
        markUnusable();
        return;
    }
    std::uint8_t header[kGsmWavHeaderBytes];
    EncodeGsmWavHeader(sampleRate, std::nullopt, header);
    if (openFile(path, header, sizeof header)) {
        setCheckpointInterval(std::uint64_t{kCheckpointSeconds} *
                              GsmAverageBytesPerSecond(static_cast<std::uint32_t>(sampleRate)));
    }
}

void GsmWavWriter::checkpoint() {
    const std::uint64_t data = fileEnd() - kGsmWavHeaderBytes;
    std::uint8_t header[kGsmWavHeaderBytes];
    EncodeGsmWavHeader(sampleRate(), data - data % GsmCodec::kBytesPerBlock, header, true);
    rewriteHeader(header, sizeof header);
}

GsmWavWriter::~GsmWavWriter() {
    if (!isOpen()) {
        return;
    }
    if (m_filled > 0) {
        std::fill(m_samples.begin() + m_filled, m_samples.end(), std::int16_t{0});
        encodeBlock();
    }
    // Whole blocks only: a block cut by a failed write is left out.
    const std::uint64_t data = fileEnd() - kGsmWavHeaderBytes;
    const std::uint64_t blocks = data / GsmCodec::kBytesPerBlock;
    truncateTo(kGsmWavHeaderBytes + blocks * GsmCodec::kBytesPerBlock);
    std::uint8_t header[kGsmWavHeaderBytes];
    EncodeGsmWavHeader(sampleRate(), blocks * GsmCodec::kBytesPerBlock, header);
    rewriteHeader(header, sizeof header);
    closeFile();
}

void GsmWavWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    if (!isOpen()) {
        return;
    }
    for (int i = 0; i < frames; ++i) {
        m_samples[m_filled++] = ToPcm16(samples[i]);
        if (m_filled == GsmCodec::kSamplesPerBlock) {
            encodeBlock();
        }
    }
}

void GsmWavWriter::encodeBlock() {
    std::uint8_t block[GsmCodec::kBytesPerBlock];
    m_codec.EncodeBlock(m_samples.data(), block);
    appendData(block, sizeof block);
    m_filled = 0;
}

}  // namespace sonaro
