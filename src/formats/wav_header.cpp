#include "formats/wav_header.h"

#include <algorithm>
#include <cstring>

#include "formats/byte_order.h"
#include "formats/gsm_codec.h"

namespace sonaro {

void EncodeWavFormatFields(const WavFormatFields& format, std::uint8_t* out) {
    PutLe16(out, format.formatTag);
    PutLe16(out + 2, format.channels);
    PutLe32(out + 4, format.sampleRate);
    PutLe32(out + 8, format.avgBytesPerSec);
    PutLe16(out + 12, format.blockAlign);
    PutLe16(out + 14, format.bitsPerSample);
    PutLe16(out + 16, static_cast<std::uint32_t>(format.extra.size()));
    std::copy(format.extra.begin(), format.extra.end(), out + kWavFormatFieldsBytes);
}

void EncodeWavHeader(const std::uint8_t* formatChunk, std::size_t formatBytes,
                     std::optional<std::uint64_t> dataBytes, std::uint8_t* out, bool stillOpen) {
    const std::uint64_t overhead = formatBytes + 20;
    std::uint32_t riffSize = kUnknownChunkSize;
    std::uint32_t dataSize = static_cast<std::uint32_t>(kUnknownChunkSize - overhead);
    if (dataBytes.has_value() && stillOpen) {
        dataSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(*dataBytes, dataSize));
    } else if (dataBytes.has_value()) {
        const bool fits = *dataBytes + overhead <= kUnknownChunkSize;
        riffSize = fits ? static_cast<std::uint32_t>(*dataBytes + overhead) : kUnknownChunkSize;
        dataSize = fits ? static_cast<std::uint32_t>(*dataBytes) : kUnknownChunkSize;
    }
    std::memcpy(out, "RIFF", 4);
    PutLe32(out + 4, riffSize);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    PutLe32(out + 16, static_cast<std::uint32_t>(formatBytes));
    std::memcpy(out + 20, formatChunk, formatBytes);
    std::memcpy(out + 20 + formatBytes, "data", 4);
    PutLe32(out + 24 + formatBytes, dataSize);
}

void EncodePcmWavHeader(std::uint16_t formatTag, int channels, int sampleRate, int bitsPerSample,
                        std::optional<std::uint64_t> dataBytes, std::uint8_t* out, bool stillOpen) {
    const int blockAlign = bitsPerSample / 8 * channels;
    WavFormatFields format;
    format.formatTag = formatTag;
    format.channels = static_cast<std::uint16_t>(channels);
    format.sampleRate = static_cast<std::uint32_t>(sampleRate);
    format.avgBytesPerSec = static_cast<std::uint32_t>(blockAlign) * format.sampleRate;
    format.blockAlign = static_cast<std::uint16_t>(blockAlign);
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    std::uint8_t chunk[kWavFormatFieldsBytes];
    EncodeWavFormatFields(format, chunk);
    EncodeWavHeader(chunk, sizeof chunk, dataBytes, out, stillOpen);
}

void EncodeGsmWavHeader(int sampleRate, std::optional<std::uint64_t> dataBytes, std::uint8_t* out,
                        bool stillOpen) {
    std::uint8_t samplesPerBlock[2];
    PutLe16(samplesPerBlock, GsmCodec::kSamplesPerBlock);
    WavFormatFields format;
    format.formatTag = 0x31;
    format.channels = 1;
    format.sampleRate = static_cast<std::uint32_t>(sampleRate);
    format.avgBytesPerSec = GsmAverageBytesPerSecond(format.sampleRate);
    format.blockAlign = GsmCodec::kBytesPerBlock;
    format.bitsPerSample = 0;
    format.extra = samplesPerBlock;
    std::uint8_t chunk[kWavFormatFieldsBytes + 2];
    EncodeWavFormatFields(format, chunk);
    EncodeWavHeader(chunk, sizeof chunk, dataBytes, out, stillOpen);
}

}  // namespace sonaro
