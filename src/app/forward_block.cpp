#include "app/forward_block.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace sonaro {
namespace {

void put32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t get32(const char* in) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    }
    return value;
}

bool hasExtendedMark(std::span<const char> block) {
    return block.size() >= sizeof kExtendedForwardMark &&
           std::memcmp(block.data(), kExtendedForwardMark, sizeof kExtendedForwardMark) == 0;
}

std::vector<char> buildClassic(std::span<const std::string> args) {
    std::vector<char> block(kForwardBlockBytes, '\0');
    put32(block.data(), static_cast<std::uint32_t>(args.size()));
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::memcpy(block.data() + 4 + i * kForwardSlotBytes, args[i].data(), args[i].size());
    }
    return block;
}

std::vector<char> buildExtended(std::span<const std::string> args) {
    std::size_t size = sizeof kExtendedForwardMark + 4;
    for (const auto& arg : args) {
        if (arg.size() > kMaxForwardBytes) {
            return {};
        }
        size += 4 + arg.size();
    }
    if (size > kMaxForwardBytes) {
        return {};
    }
    std::vector<char> block(size);
    char* out =
        std::copy(std::begin(kExtendedForwardMark), std::end(kExtendedForwardMark), block.data());
    put32(out, static_cast<std::uint32_t>(args.size()));
    out += 4;
    for (const auto& arg : args) {
        put32(out, static_cast<std::uint32_t>(arg.size()));
        out = std::copy(arg.begin(), arg.end(), out + 4);
    }
    return block;
}

std::optional<std::vector<std::string>> parseClassic(std::span<const char> block) {
    const auto signedCount = static_cast<std::int32_t>(get32(block.data()));
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

std::optional<std::vector<std::string>> parseExtended(std::span<const char> block) {
    if (block.size() > kMaxForwardBytes || block.size() < sizeof kExtendedForwardMark + 4) {
        return std::nullopt;
    }
    std::size_t at = sizeof kExtendedForwardMark;
    const std::uint32_t count = get32(block.data() + at);
    at += 4;
    if (count > kForwardSlots) {
        return std::nullopt;
    }
    std::vector<std::string> args;
    args.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (block.size() - at < 4) {
            return std::nullopt;
        }
        const std::uint32_t length = get32(block.data() + at);
        at += 4;
        if (block.size() - at < length) {
            return std::nullopt;
        }
        const std::string_view arg(block.data() + at, length);
        if (arg.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        args.emplace_back(arg);
        at += length;
    }
    if (at != block.size()) {
        return std::nullopt;
    }
    return args;
}

}  // namespace

std::vector<char> BuildForwardBlock(const std::vector<std::string>& args) {
    const std::span<const std::string> sent(args.data(), std::min(args.size(), kForwardSlots));
    const bool fitsSlots = std::all_of(sent.begin(), sent.end(), [](const std::string& arg) {
        return arg.size() < kForwardSlotBytes;
    });
    return fitsSlots ? buildClassic(sent) : buildExtended(sent);
}

std::optional<std::vector<std::string>> ParseForwardBlock(std::span<const char> block) {
    if (hasExtendedMark(block)) {
        return parseExtended(block);
    }
    if (block.size() != kForwardBlockBytes) {
        return std::nullopt;
    }
    return parseClassic(block);
}

}  // namespace sonaro
