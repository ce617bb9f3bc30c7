#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sonaro {

// The 54-byte big-endian AIFF header: "FORM", size, "AIFF", a "COMM" chunk (channels, frames,
// bits, rate as an 80-bit extended number) and the head of the "SSND" chunk (offset 0, block
// size 0). The samples follow it.
inline constexpr std::size_t kAiffHeaderBytes = 54;

// The sample rate as an 80-bit IEEE extended number; a rate of 0 gives ten zero bytes.
void EncodeAiffSampleRate(std::uint32_t sampleRate, std::uint8_t* out);

// `dataBytes` empty: the open-file header (0 frames, FORM size 46, SSND size 0xFFFFFFFF).
// Otherwise the true sizes; sizes that no longer fit 32 bits read 0xFFFFFFFF. `stillOpen`: the
// header of a writer's checkpoint, the frames and SSND size of the data on disk behind the
// open-state FORM size 46 (readers follow such a file as it grows).
void EncodeAiffHeader(int channels, int bitsPerSample, int sampleRate,
                      std::optional<std::uint64_t> dataBytes, std::uint8_t* out,
                      bool stillOpen = false);

}  // namespace sonaro
