#include "formats/wave_format.h"

#include <algorithm>

namespace sonaro {
namespace {

void put16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value & 0xFF);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t get16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t get32(const std::uint8_t* in) {
    return get16(in) | (static_cast<std::uint32_t>(get16(in + 2)) << 16);
}

}  // namespace

WaveFormat MakePcmWaveFormat(std::uint32_t sampleRate, std::uint16_t channels,
                             std::uint16_t bitsPerSample) {
    const unsigned bytesPerSample = bitsPerSample <= 8 ? 1 : bitsPerSample <= 16 ? 2 : 4;
    WaveFormat format;
    format.formatTag = WaveFormat::kPcmTag;
    format.channels = channels;
    format.samplesPerSec = sampleRate;
    format.bitsPerSample = bitsPerSample;
    format.blockAlign = static_cast<std::uint16_t>(channels * bytesPerSample);
    format.avgBytesPerSec = static_cast<std::uint32_t>(bitsPerSample / 8u * channels * sampleRate);
    return format;
}

std::array<std::uint8_t, kWaveFormatFileBytes> EncodeWaveFormatFile(const WaveFormat& format) {
    std::array<std::uint8_t, kWaveFormatFileBytes> file{};
    const std::size_t extraBytes = std::min(format.extra.size(), WaveFormat::kMaxExtraBytes);
    std::uint8_t* out = file.data();
    put16(out, format.formatTag);
    put16(out + 2, format.channels);
    put32(out + 4, format.samplesPerSec);
    put32(out + 8, format.avgBytesPerSec);
    put16(out + 12, format.blockAlign);
    put16(out + 14, format.bitsPerSample);
    put16(out + 16, static_cast<std::uint16_t>(extraBytes));
    std::copy_n(format.extra.begin(), extraBytes, out + WaveFormat::kHeaderBytes);
    put16(out + WaveFormat::kFormatBytes, format.manufacturerId);
    put16(out + WaveFormat::kFormatBytes + 2, format.productId);
    return file;
}

std::optional<WaveFormat> DecodeWaveFormatFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kWaveFormatFileBytes) {
        return std::nullopt;
    }
    const std::uint8_t* in = bytes.data();
    WaveFormat format;
    format.formatTag = get16(in);
    format.channels = get16(in + 2);
    format.samplesPerSec = get32(in + 4);
    format.avgBytesPerSec = get32(in + 8);
    format.blockAlign = get16(in + 12);
    format.bitsPerSample = get16(in + 14);
    const std::size_t extraBytes =
        std::min<std::size_t>(get16(in + 16), WaveFormat::kMaxExtraBytes);
    format.extra.assign(in + WaveFormat::kHeaderBytes, in + WaveFormat::kHeaderBytes + extraBytes);
    format.manufacturerId = get16(in + WaveFormat::kFormatBytes);
    format.productId = get16(in + WaveFormat::kFormatBytes + 2);
    return format;
}

}  // namespace sonaro
