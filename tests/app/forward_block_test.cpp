#include "app/forward_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace sonaro {
namespace {

void putCount(std::vector<char>& block, std::uint32_t count) {
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    }
}

TEST(ForwardBlock, CarriesArgumentsCutToTheirSlots) {
    const std::string longArgument(300, 'x');
    const auto block = BuildForwardBlock({"/usr/bin/sonaro", "-outdir", longArgument, ""});
    ASSERT_EQ(block.size(), 33284u);
    EXPECT_EQ(block[0], 4);
    const auto args = ParseForwardBlock(block);
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 4u);
    EXPECT_EQ((*args)[0], "/usr/bin/sonaro");
    EXPECT_EQ((*args)[1], "-outdir");
    EXPECT_EQ((*args)[2], std::string(259, 'x'));
    EXPECT_EQ((*args)[3], "");
}

TEST(ForwardBlock, KeepsTheFirst128Arguments) {
    std::vector<std::string> many;
    for (int i = 0; i < 130; ++i) {
        many.push_back("a" + std::to_string(i));
    }
    const auto args = ParseForwardBlock(BuildForwardBlock(many));
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 128u);
    EXPECT_EQ(args->back(), "a127");
}

TEST(ForwardBlock, IgnoresBlocksOfAnyOtherLength) {
    auto block = BuildForwardBlock({"sonaro", "-exit"});
    EXPECT_FALSE(ParseForwardBlock(std::span(block.data(), block.size() - 1)));
    block.push_back('\0');
    EXPECT_FALSE(ParseForwardBlock(block));
    EXPECT_FALSE(ParseForwardBlock({}));
}

TEST(ForwardBlock, LimitsHostileCountsAndUnterminatedSlots) {
    std::vector<char> block(kForwardBlockBytes, 'A');
    putCount(block, 0x7FFFFFFF);
    auto args = ParseForwardBlock(block);
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 128u);
    for (const auto& arg : *args) {
        EXPECT_EQ(arg, std::string(259, 'A'));
    }
    putCount(block, 0xFFFFFFFF);  // -1
    args = ParseForwardBlock(block);
    ASSERT_TRUE(args);
    EXPECT_TRUE(args->empty());
}

// Random and mutated blocks: the parser must stay inside the block (ASan watches) and give
// arguments that survive another trip through the block unchanged.
TEST(ForwardBlock, FuzzedBlocksParseSafely) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto valid = BuildForwardBlock({"sonaro", "-record", "mp3", "-cbr", "-b", "128"});
    for (int round = 0; round < 4000; ++round) {
        std::vector<char> block;
        if (round % 2 == 0) {
            block = valid;
            const int mutations = 1 + round % 64;
            for (int m = 0; m < mutations; ++m) {
                const std::size_t at = (static_cast<std::size_t>(random()) % 64 == 0)
                                           ? random() % 4
                                           : random() % block.size();
                block[at] = static_cast<char>(byte(random));
            }
        } else {
            block.resize(kForwardBlockBytes);
            for (auto& b : block) {
                b = static_cast<char>(round % 3 == 0 ? 'z' : byte(random));
            }
        }
        const auto args = ParseForwardBlock(block);
        ASSERT_TRUE(args);
        ASSERT_LE(args->size(), kForwardSlots);
        for (const auto& arg : *args) {
            ASSERT_LE(arg.size(), kForwardSlotBytes - 1);
            ASSERT_EQ(arg.find('\0'), std::string::npos);
        }
        ASSERT_EQ(ParseForwardBlock(BuildForwardBlock(*args)), args);
    }
}

TEST(ForwardBlock, FuzzedLengthsAreRejectedUnlessExact) {
    std::mt19937 random(7);
    std::vector<char> buffer(kForwardBlockBytes * 2, '\x01');
    for (int round = 0; round < 2000; ++round) {
        const std::size_t length = random() % buffer.size();
        const auto args = ParseForwardBlock(std::span(buffer.data(), length));
        EXPECT_EQ(args.has_value(), length == kForwardBlockBytes);
    }
}

}  // namespace
}  // namespace sonaro
