#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sonaro {

// A file built into the program by name ("WAV_RECORD_TONE"); empty when there is none. The
// bytes live as long as the program. Generated at configure time (cmake/EmbedResources.cmake).
std::span<const std::uint8_t> EmbeddedResource(std::string_view name);

}  // namespace sonaro
