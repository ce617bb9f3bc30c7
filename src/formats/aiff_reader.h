#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/audio_source.h"

namespace sonaro {

// The sample rate of an 80-bit extended number whose exponent lies in the range of whole rates
// from 2 to 2^31 - 1: the upper 32 mantissa bits shifted right by 30 minus the exponent's low
// byte, rounded. Nothing for any other exponent or a rate of 0.
std::optional<int> DecodeAiffSampleRate(const std::uint8_t* bytes);

// Opens an AIFF or AIFC file: "COMM" (at least 18 bytes) and "SSND" in any order, big-endian
// signed samples of 8, 16, 24 or 32 bits; AIFC also little-endian 16-bit ("sowt"), 32-bit float
// ("fl32") and G.711 ("ulaw", "alaw"). The data runs to the end of the file when the SSND or
// FORM size is the unknown size 0xFFFFFFFF (the writer's open-state header); any other size is
// cut to what the file holds. Statuses as for WAV: CannotOpen, Corrupt (a chunk missing or cut
// short, zero channels, a rate outside the range), CodecMissing (another AIFC compression),
// NotSupported (not a FORM file, sample sizes above 32 bits).
SourceRef OpenAiffFile(const std::string& path);

}  // namespace sonaro
