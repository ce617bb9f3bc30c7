#pragma once

#include <cstdint>

namespace sonaro {

// Fixed-order integer fields of file headers, independent of the host's byte order.

inline void PutLe16(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(std::uint8_t* out, std::uint32_t value) {
    PutLe16(out, value & 0xFFFFu);
    PutLe16(out + 2, value >> 16);
}

inline void PutBe16(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}

inline void PutBe32(std::uint8_t* out, std::uint32_t value) {
    PutBe16(out, value >> 16);
    PutBe16(out + 2, value & 0xFFFFu);
}

inline std::uint16_t GetLe16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

inline std::uint32_t GetLe32(const std::uint8_t* in) {
    return GetLe16(in) | (static_cast<std::uint32_t>(GetLe16(in + 2)) << 16);
}

inline std::uint16_t GetBe16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>((in[0] << 8) | in[1]);
}

inline std::uint32_t GetBe32(const std::uint8_t* in) {
    return (static_cast<std::uint32_t>(GetBe16(in)) << 16) | GetBe16(in + 2);
}

}  // namespace sonaro
