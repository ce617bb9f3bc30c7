#include "app/forward_block.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace sonaro {

std::vector<char> BuildForwardBlock(const std::vector<std::string>& args) {
    std::vector<char> block(kForwardBlockBytes, '\0');
    const auto count = static_cast<std::uint32_t>(std::min(args.size(), kForwardSlots));
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = std::min(args[i].size(), kForwardSlotBytes - 1);
        std::memcpy(block.data() + 4 + i * kForwardSlotBytes, args[i].data(), length);
    }
    return block;
}

std::optional<std::vector<std::string>> ParseForwardBlock(std::span<const char> block) {
    if (block.size() != kForwardBlockBytes) {
        return std::nullopt;
    }
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) {
        raw |= static_cast<std::uint32_t>(static_cast<unsigned char>(block[i])) << (8 * i);
    }
    const auto signedCount = static_cast<std::int32_t>(raw);
    const std::size_t count =
        signedCount < 0 ? 0 : std::min(static_cast<std::size_t>(signedCount), kForwardSlots);
    std::vector<std::string> args;
    args.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char* slot = block.data() + 4 + i * kForwardSlotBytes;
        const void* nul = std::memchr(slot, '\0', kForwardSlotBytes - 1);
        const std::size_t length =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - slot)
                           : kForwardSlotBytes - 1;
        args.emplace_back(slot, length);
    }
    return args;
}

}  // namespace sonaro
