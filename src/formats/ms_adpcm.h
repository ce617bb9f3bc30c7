#pragma once

#include <cstdint>

namespace sonaro {

// Microsoft ADPCM (WAV format tag 2) in the WAV block layout: per channel a predictor index byte,
// then per channel the 16-bit delta, the second sample and the first sample, then four-bit codes,
// high nibble first, channels interleaved. The standard seven coefficient pairs are used; the
// format's extra bytes list them (MsAdpcmExtraBytes).

inline constexpr int kMsAdpcmCoefficientCount = 7;
inline constexpr int kMsAdpcmExtraByteCount = 4 + 4 * kMsAdpcmCoefficientCount;

// Frames one block of `blockAlign` bytes holds; 0 when the block cannot hold the header.
int MsAdpcmSamplesPerBlock(int blockAlign, int channels);

// The 32 extra bytes of the format: samples per block, the coefficient count, the pairs.
void MsAdpcmExtraBytes(int samplesPerBlock, std::uint8_t* out);

// Encodes exactly MsAdpcmSamplesPerBlock(blockAlign, channels) interleaved frames into
// `blockAlign` bytes, choosing for each channel the coefficient pair with the smallest error.
void EncodeMsAdpcmBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out);

// Decodes one block into MsAdpcmSamplesPerBlock(blockAlign, channels) interleaved frames. An
// out-of-range predictor index counts as 0.
void DecodeMsAdpcmBlock(const std::uint8_t* block, int channels, int blockAlign, std::int16_t* pcm);

}  // namespace sonaro
