#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace sonaro {

// RIFF/WAVE header layouts: "RIFF", size, "WAVE", a "fmt " chunk, "data", size; no other chunk.
//
// Sizes: while a file is open, the RIFF size reads 0xFFFFFFFF (readers follow such a file as it
// grows) and the data size is a placeholder that makes the RIFF size add up, until the writer's
// first checkpoint; from then on the data size names the data on disk at the last checkpoint
// (`stillOpen`), so decoders read the file without a repair. On close the true sizes are written;
// when the RIFF size no longer fits 32 bits (more than about 4 GiB of data), both size fields read
// 0xFFFFFFFF, the "unknown length" that readers take as "up to the end of the file".

inline constexpr std::uint32_t kUnknownChunkSize = 0xFFFFFFFF;
inline constexpr std::size_t kWavFormatFieldsBytes = 18;

// The 18 bytes of a WAVEFORMATEX-style format followed by its extra bytes.
struct WavFormatFields {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 44100;
    std::uint32_t avgBytesPerSec = 88200;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;
    std::span<const std::uint8_t> extra;
};

// Bytes of the header for a format chunk of `formatBytes` bytes: formatBytes + 28.
constexpr std::size_t WavHeaderBytes(std::size_t formatBytes) {
    return formatBytes + 28;
}

// Writes the format's 18 + extra.size() bytes to `out`.
void EncodeWavFormatFields(const WavFormatFields& format, std::uint8_t* out);

// Writes WavHeaderBytes(formatBytes) bytes to `out`. `dataBytes` empty: the open-file
// placeholder.
void EncodeWavHeader(const std::uint8_t* formatChunk, std::size_t formatBytes,
                     std::optional<std::uint64_t> dataBytes, std::uint8_t* out,
                     bool stillOpen = false);

// The 46-byte header of the PCM (tag 1) and float (tag 3) writers.
inline constexpr std::size_t kPcmWavHeaderBytes = WavHeaderBytes(kWavFormatFieldsBytes);
void EncodePcmWavHeader(std::uint16_t formatTag, int channels, int sampleRate, int bitsPerSample,
                        std::optional<std::uint64_t> dataBytes, std::uint8_t* out,
                        bool stillOpen = false);

// The 48-byte header of the GSM writer (tag 0x31, 65-byte blocks of 320 samples).
inline constexpr std::size_t kGsmWavHeaderBytes = WavHeaderBytes(kWavFormatFieldsBytes + 2);
void EncodeGsmWavHeader(int sampleRate, std::optional<std::uint64_t> dataBytes, std::uint8_t* out,
                        bool stillOpen = false);

}  // namespace sonaro
