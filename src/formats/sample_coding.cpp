#include "formats/sample_coding.h"

#include <bit>
#include <cmath>

#include "formats/byte_order.h"
#include "formats/g711.h"

namespace sonaro {
namespace {

std::int32_t signed24(std::uint32_t value) {
    return static_cast<std::int32_t>(value << 8) >> 8;
}

InternalSample fromFloat(std::uint32_t bits) {
    const float value = std::bit_cast<float>(bits);
    if (std::isnan(value)) {
        return 0;
    }
    const float scaled = value * static_cast<float>(1 << 19);
    if (scaled >= static_cast<float>(kFloatPeakBound)) {
        return kFloatPeakBound;
    }
    if (scaled <= -static_cast<float>(kFloatPeakBound)) {
        return -kFloatPeakBound;
    }
    return static_cast<InternalSample>(std::lrint(scaled));
}

template <typename Convert>
void each(const std::uint8_t* in, std::size_t count, int bytes, InternalSample* out,
          Convert convert) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = convert(in + i * static_cast<std::size_t>(bytes));
    }
}

}  // namespace

int BytesPerSample(SampleCoding coding) {
    switch (coding) {
        case SampleCoding::Unsigned8:
        case SampleCoding::Signed8:
        case SampleCoding::MuLaw:
        case SampleCoding::ALaw:
            return 1;
        case SampleCoding::Signed16Le:
        case SampleCoding::Signed16Be:
            return 2;
        case SampleCoding::Signed24Le:
        case SampleCoding::Signed24Be:
            return 3;
        case SampleCoding::Signed32Le:
        case SampleCoding::Signed32Be:
        case SampleCoding::Float32Le:
        case SampleCoding::Float32Be:
            return 4;
    }
    return 2;
}

std::int32_t PeakBoundOf(SampleCoding coding) {
    return coding == SampleCoding::Float32Le || coding == SampleCoding::Float32Be
               ? kFloatPeakBound
               : 32767 << kInternalShift;
}

void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t count,
                   InternalSample* out) {
    const int bytes = BytesPerSample(coding);
    switch (coding) {
        case SampleCoding::Unsigned8:
            each(in, count, bytes, out, [](const std::uint8_t* p) { return (*p - 128) * 4096; });
            break;
        case SampleCoding::Signed8:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return static_cast<std::int8_t>(*p) * 4096; });
            break;
        case SampleCoding::Signed16Le:
            each(in, count, bytes, out, [](const std::uint8_t* p) {
                return ToInternalSample(static_cast<std::int16_t>(GetLe16(p)));
            });
            break;
        case SampleCoding::Signed16Be:
            each(in, count, bytes, out, [](const std::uint8_t* p) {
                return ToInternalSample(static_cast<std::int16_t>(GetBe16(p)));
            });
            break;
        case SampleCoding::Signed24Le:
            each(in, count, bytes, out, [](const std::uint8_t* p) {
                return signed24(p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16)) >> 4;
            });
            break;
        case SampleCoding::Signed24Be:
            each(in, count, bytes, out, [](const std::uint8_t* p) {
                return signed24(p[2] | (p[1] << 8) | (static_cast<std::uint32_t>(p[0]) << 16)) >> 4;
            });
            break;
        case SampleCoding::Signed32Le:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return static_cast<std::int32_t>(GetLe32(p)) >> 12; });
            break;
        case SampleCoding::Signed32Be:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return static_cast<std::int32_t>(GetBe32(p)) >> 12; });
            break;
        case SampleCoding::Float32Le:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return fromFloat(GetLe32(p)); });
            break;
        case SampleCoding::Float32Be:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return fromFloat(GetBe32(p)); });
            break;
        case SampleCoding::MuLaw:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return ToInternalSample(DecodeMuLaw(*p)); });
            break;
        case SampleCoding::ALaw:
            each(in, count, bytes, out,
                 [](const std::uint8_t* p) { return ToInternalSample(DecodeALaw(*p)); });
            break;
    }
}

}  // namespace sonaro
