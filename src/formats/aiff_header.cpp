#include "formats/aiff_header.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/byte_order.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

std::uint32_t clampTo32(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, kUnknownChunkSize));
}

}  // namespace

void EncodeAiffSampleRate(std::uint32_t sampleRate, std::uint8_t* out) {
    std::fill_n(out, 10, 0);
    if (sampleRate == 0) {
        return;
    }
    const int highestBit = 31 - std::countl_zero(sampleRate);
    PutBe16(out, 16383u + static_cast<std::uint32_t>(highestBit));
    PutBe32(out + 2, sampleRate << (31 - highestBit));
}

void EncodeAiffHeader(int channels, int bitsPerSample, int sampleRate,
                      std::optional<std::uint64_t> dataBytes, std::uint8_t* out, bool stillOpen) {
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(channels) * (bitsPerSample / 8);
    std::uint32_t formSize = 46;
    std::uint32_t frames = 0;
    std::uint32_t soundSize = kUnknownChunkSize;
    if (dataBytes.has_value()) {
        const bool fits = *dataBytes + 46 <= kUnknownChunkSize;
        formSize = stillOpen ? 46
                   : fits    ? static_cast<std::uint32_t>(*dataBytes + 46)
                             : kUnknownChunkSize;
        soundSize = fits ? static_cast<std::uint32_t>(*dataBytes + 8) : kUnknownChunkSize;
        frames = frameBytes == 0 ? 0 : clampTo32(*dataBytes / frameBytes);
    }
    std::memcpy(out, "FORM", 4);
    PutBe32(out + 4, formSize);
    std::memcpy(out + 8, "AIFFCOMM", 8);
    PutBe32(out + 16, 18);
    PutBe16(out + 20, static_cast<std::uint32_t>(channels));
    PutBe32(out + 22, frames);
    PutBe16(out + 26, static_cast<std::uint32_t>(bitsPerSample));
    EncodeAiffSampleRate(static_cast<std::uint32_t>(sampleRate), out + 28);
    std::memcpy(out + 38, "SSND", 4);
    PutBe32(out + 42, soundSize);
    PutBe32(out + 46, 0);
    PutBe32(out + 50, 0);
}

}  // namespace sonaro
