#include "formats/g711.h"

namespace sonaro {
namespace {

constexpr int kMuLawBias = 0x84;
constexpr int kMuLawClip = 32635;

// Index of the highest set bit of `value` above bit `lowest`, 0 to 7.
int segmentOf(int value, int lowest) {
    int segment = 0;
    for (int shifted = value >> lowest; shifted > 1 && segment < 7; shifted >>= 1) {
        ++segment;
    }
    return segment;
}

}  // namespace

std::uint8_t EncodeMuLaw(std::int16_t sample) {
    int value = sample;
    const int sign = value < 0 ? 0x80 : 0;
    if (value < 0) {
        value = -value;
    }
    if (value > kMuLawClip) {
        value = kMuLawClip;
    }
    value += kMuLawBias;
    const int exponent = segmentOf(value, 7);
    const int mantissa = (value >> (exponent + 3)) & 0x0F;
    return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

std::int16_t DecodeMuLaw(std::uint8_t code) {
    const int inverted = ~code & 0xFF;
    int magnitude = ((inverted & 0x0F) << 3) + kMuLawBias;
    magnitude <<= (inverted & 0x70) >> 4;
    return static_cast<std::int16_t>((inverted & 0x80) != 0 ? kMuLawBias - magnitude
                                                            : magnitude - kMuLawBias);
}

std::uint8_t EncodeALaw(std::int16_t sample) {
    int value = sample >> 3;  // 13-bit magnitude range
    int mask = 0xD5;
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    if (value > 0xFFF) {
        return static_cast<std::uint8_t>(0x7F ^ mask);
    }
    const int segment = value < 0x20 ? 0 : segmentOf(value, 4);
    int code = segment << 4;
    code |= segment < 2 ? (value >> 1) & 0x0F : (value >> segment) & 0x0F;
    return static_cast<std::uint8_t>(code ^ mask);
}

std::int16_t DecodeALaw(std::uint8_t code) {
    const int value = code ^ 0x55;
    int magnitude = (value & 0x0F) << 4;
    const int segment = (value & 0x70) >> 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude = (magnitude + 0x108) << (segment - 1);
    }
    return static_cast<std::int16_t>((value & 0x80) != 0 ? magnitude : -magnitude);
}

}  // namespace sonaro
