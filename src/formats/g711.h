#pragma once

#include <cstdint>

namespace sonaro {

// ITU-T G.711 companding of 16-bit linear samples to 8-bit codes and back (the WAV format tags 7,
// mu-law, and 6, A-law). Decoding gives the centre of the code's interval.
std::uint8_t EncodeMuLaw(std::int16_t sample);
std::int16_t DecodeMuLaw(std::uint8_t code);
std::uint8_t EncodeALaw(std::int16_t sample);
std::int16_t DecodeALaw(std::uint8_t code);

}  // namespace sonaro
