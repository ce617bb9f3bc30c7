#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace sonaro {

// Numbers in what a server sends. A hostile server may send any digits at all, so a number that
// does not fit or exceeds `max` is refused like a missing one (never thrown, never wrapped).

// The decimal number at the start of `text`. `end`, when given, receives where the digits stop.
inline bool ReadWireNumber(std::string_view text, std::uint64_t max, std::uint64_t& value,
                           std::size_t* end = nullptr) {
    std::uint64_t parsed = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (end != nullptr) {
        *end = static_cast<std::size_t>(stop - text.data());
    }
    if (error != std::errc{} || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

// `text` as a whole is the number.
inline bool ParseWireNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
    std::size_t end = 0;
    return ReadWireNumber(text, max, value, &end) && end == text.size();
}

}  // namespace sonaro
