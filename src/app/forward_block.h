#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sonaro {

// The command line a second start hands to the running instance, as one fixed block:
// a 32-bit little-endian argument count, then kForwardSlots slots of kForwardSlotBytes bytes,
// each a NUL-terminated argument cut to kForwardSlotBytes - 1 characters. Argument 0 is the
// sender's program path. Slots at and beyond the count are zero.
inline constexpr std::size_t kForwardSlots = 128;
inline constexpr std::size_t kForwardSlotBytes = 260;
inline constexpr std::size_t kForwardBlockBytes = 4 + kForwardSlots * kForwardSlotBytes;
static_assert(kForwardBlockBytes == 33284);

// Builds the block from `args`: at most kForwardSlots arguments, each cut to 259 bytes.
std::vector<char> BuildForwardBlock(const std::vector<std::string>& args);

// Reads a received block. Nothing when `block` is not exactly kForwardBlockBytes long. The count
// is taken as a signed number limited to 0..kForwardSlots; a slot without a NUL yields its first
// 259 bytes, so no read ever leaves its slot.
std::optional<std::vector<std::string>> ParseForwardBlock(std::span<const char> block);

}  // namespace sonaro
