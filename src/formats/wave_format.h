#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sonaro {

// A wave format as the WAV writers and the format file hold it: the 18 fields of a
// WAVEFORMATEX, its extra bytes, and the identifiers of the codec driver that offered it.
struct WaveFormat {
    static constexpr std::size_t kHeaderBytes = 18;
    static constexpr std::size_t kFormatBytes = 1024;
    static constexpr std::size_t kMaxExtraBytes = kFormatBytes - kHeaderBytes;
    static constexpr std::uint16_t kPcmTag = 1;

    std::uint16_t formatTag = kPcmTag;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 44100;
    std::uint32_t avgBytesPerSec = 88200;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;
    std::vector<std::uint8_t> extra;   // at most kMaxExtraBytes
    std::uint16_t manufacturerId = 0;  // wMid of the driver; 0 for PCM and GSM
    std::uint16_t productId = 0;       // wPid of the driver; 0 for PCM and GSM

    bool operator==(const WaveFormat&) const = default;
};

// The "WavCodec.wff" file: the format in 1024 bytes (zero padded), then wMid and wPid.
inline constexpr std::size_t kWaveFormatFileBytes = WaveFormat::kFormatBytes + 4;

// A PCM format: block align = channels x (1 up to 8 bits, 2 up to 16, 4 above), average bytes
// per second = bits / 8 x channels x rate. Zero values are kept as given.
WaveFormat MakePcmWaveFormat(std::uint32_t sampleRate, std::uint16_t channels,
                             std::uint16_t bitsPerSample);

std::array<std::uint8_t, kWaveFormatFileBytes> EncodeWaveFormatFile(const WaveFormat& format);

// Nothing when `bytes` is shorter than the file; bytes beyond it are ignored. An extra-byte
// count larger than the room in the file is cut to that room.
std::optional<WaveFormat> DecodeWaveFormatFile(std::span<const std::uint8_t> bytes);

}  // namespace sonaro
