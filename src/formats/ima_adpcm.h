#pragma once

#include <cstddef>
#include <cstdint>

namespace sonaro {

// IMA ADPCM (WAV format tag 0x11) in the WAV block layout: per channel a 4-byte header (the first
// sample as a 16-bit value, the step index, a zero byte), then groups of 4 bytes per channel, each
// holding 8 four-bit codes, low nibble first.

// Frames one block of `blockAlign` bytes holds; 0 when the block cannot hold one group.
int ImaAdpcmSamplesPerBlock(int blockAlign, int channels);

// Encoder state carried from block to block: the step index of each channel.
struct ImaAdpcmEncoderState {
    std::uint8_t stepIndex[2] = {0, 0};
};

// Encodes exactly ImaAdpcmSamplesPerBlock(blockAlign, channels) interleaved frames from `pcm` into
// `blockAlign` bytes at `out`. `channels` is 1 or 2.
void EncodeImaAdpcmBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out,
                         ImaAdpcmEncoderState& state);

// Decodes one block into ImaAdpcmSamplesPerBlock(blockAlign, channels) interleaved frames.
void DecodeImaAdpcmBlock(const std::uint8_t* block, int channels, int blockAlign,
                         std::int16_t* pcm);

}  // namespace sonaro
