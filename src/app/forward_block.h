#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sonaro {

// The command line a second start hands to the running instance. Argument 0 is the sender's
// program path; only the first kForwardSlots arguments are sent.
//
// Classic block, sent whenever every argument fits its slot: a 32-bit little-endian argument
// count, then kForwardSlots slots of kForwardSlotBytes bytes, each a NUL-terminated argument of
// at most kForwardSlotBytes - 1 bytes. Slots at and beyond the count are zero.
inline constexpr std::size_t kForwardSlots = 128;
inline constexpr std::size_t kForwardSlotBytes = 260;
inline constexpr std::size_t kForwardBlockBytes = 4 + kForwardSlots * kForwardSlotBytes;
static_assert(kForwardBlockBytes == 33284);

// Extended block, for longer arguments (paths up to PATH_MAX): the 4 bytes kExtendedForwardMark
// (negative as a classic count, which no sender writes), a 32-bit little-endian argument count
// (at most kForwardSlots), then per argument its 32-bit little-endian byte length and its bytes
// (no NUL). Nothing follows the last argument; the whole block is at most kMaxForwardBytes.
inline constexpr char kExtendedForwardMark[4] = {'S', 'N', 'X', '\xff'};
inline constexpr std::size_t kMaxForwardBytes = std::size_t{1} << 20;

// The classic block when every argument fits a slot, else the extended block. Empty when the
// extended block would exceed kMaxForwardBytes: such a command line cannot be forwarded.
std::vector<char> BuildForwardBlock(const std::vector<std::string>& args);

// Reads a received block. A block that starts with kExtendedForwardMark must be one well-formed
// extended block, whatever its length; any other block must be exactly kForwardBlockBytes long.
// Nothing otherwise. In a classic block the count is taken as a signed number limited to
// 0..kForwardSlots, and a slot without a NUL yields its first 259 bytes, so no read ever leaves
// its slot.
std::optional<std::vector<std::string>> ParseForwardBlock(std::span<const char> block);

}  // namespace sonaro
