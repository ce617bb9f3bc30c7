#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/audio_samples.h"

namespace sonaro {

// The ways uncompressed and companded samples are stored in the files the readers take.
enum class SampleCoding {
    Unsigned8,
    Signed8,
    Signed16Le,
    Signed16Be,
    Signed24Le,
    Signed24Be,
    Signed32Le,
    Signed32Be,
    Float32Le,
    Float32Be,
    MuLaw,
    ALaw,
};

// Largest absolute value a float source delivers: a little over twice full scale, since float
// files may hold samples beyond ±1.0.
inline constexpr std::int32_t kFloatPeakBound = 1048744;

int BytesPerSample(SampleCoding coding);
// kFloatPeakBound for the float codings, else full 16-bit scale.
std::int32_t PeakBoundOf(SampleCoding coding);

// Converts `count` stored samples into internal samples: integers keep their top 16 bits and
// the 4 bits below them (the inverse of what the writers store), floats are scaled by 2^19 and
// limited to ±kFloatPeakBound (a NaN reads as 0), companded codes are expanded.
void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t count,
                   InternalSample* out);

}  // namespace sonaro
