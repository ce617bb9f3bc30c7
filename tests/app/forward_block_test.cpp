#include "app/forward_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "app/forward_paths.h"

namespace sonaro {
namespace {

void put32(std::vector<char>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// An extended block made by hand, as another sender would make it.
std::vector<char> extendedBlock(const std::vector<std::string>& args, std::uint32_t count) {
    std::vector<char> block{'S', 'N', 'X', '\xff'};
    put32(block, count);
    for (const auto& arg : args) {
        put32(block, static_cast<std::uint32_t>(arg.size()));
        block.insert(block.end(), arg.begin(), arg.end());
    }
    return block;
}

// Arguments that fit their slots travel in the classic block, longer ones whole in an extended one.
TEST(ForwardBlock, ArgumentsTravelWhole) {
    const std::vector<std::string> classic{"/usr/bin/sonaro", "-outdir", std::string(259, 'x'), ""};
    const auto block = BuildForwardBlock(classic);
    ASSERT_EQ(block.size(), 33284u);
    EXPECT_EQ(block[0], 4);
    EXPECT_EQ(ParseForwardBlock(block), classic);

    const std::vector<std::string> longer{"/usr/bin/sonaro",
                                          "-outdir",
                                          std::string(260, 'x'),
                                          "-recordfile",
                                          "/" + std::string(4094, 'p'),
                                          "",
                                          "-ms",
                                          "3000"};
    EXPECT_NE(BuildForwardBlock(longer).size(), kForwardBlockBytes);
    EXPECT_EQ(ParseForwardBlock(BuildForwardBlock(longer)), longer);
    EXPECT_EQ(ParseForwardBlock(extendedBlock(longer, 8)), longer) << "the format is fixed";
}

TEST(ForwardBlock, KeepsTheFirst128Arguments) {
    std::vector<std::string> many;
    for (int i = 0; i < 130; ++i) {
        many.push_back(std::string("a").append(std::to_string(i)));
    }
    for (const bool extended : {false, true}) {
        if (extended) {
            many[5] = std::string(1000, 'l');
        }
        const auto args = ParseForwardBlock(BuildForwardBlock(many));
        ASSERT_TRUE(args);
        ASSERT_EQ(args->size(), 128u);
        EXPECT_EQ((*args)[5], many[5]);
        EXPECT_EQ(args->back(), "a127");
    }
}

TEST(ForwardBlock, CommandLinesBeyondOneMebibyteAreNotBuilt) {
    // Header 8 bytes, each argument 4 + its length: three arguments fill 1 MiB exactly.
    const std::size_t room = kMaxForwardBytes - 8 - 3 * 4;
    std::vector<std::string> args{"sonaro", "-outdir", std::string(room - 6 - 7, 'r')};
    const auto block = BuildForwardBlock(args);
    EXPECT_EQ(block.size(), kMaxForwardBytes);
    EXPECT_EQ(ParseForwardBlock(block), args);
    args.back().push_back('r');
    EXPECT_TRUE(BuildForwardBlock(args).empty());
}

// A block that starts with the extended mark is read by the extended rules only, whatever its
// length; everything that is not exactly one well-formed block is refused.
TEST(ForwardBlock, ExtendedBlocksMustBeWellFormed) {
    const std::vector<std::string> args{"sonaro", "-outdir", "/rec"};
    const auto valid = extendedBlock(args, 3);
    ASSERT_EQ(ParseForwardBlock(valid), args);
    EXPECT_EQ(ParseForwardBlock(extendedBlock({}, 0)), std::vector<std::string>{});

    // The classic length does not make an extended block classic.
    const std::vector<std::string> sized{"sonaro",
                                         std::string(kForwardBlockBytes - 8 - (4 + 6) - 4, 's')};
    const auto classicLength = extendedBlock(sized, 2);
    ASSERT_EQ(classicLength.size(), kForwardBlockBytes);
    EXPECT_EQ(ParseForwardBlock(classicLength), sized);
    auto broken = classicLength;
    broken[4] = 3;
    EXPECT_FALSE(ParseForwardBlock(broken));

    EXPECT_FALSE(ParseForwardBlock(std::span(valid.data(), valid.size() - 1)));
    auto longer = valid;
    longer.push_back('\0');
    EXPECT_FALSE(ParseForwardBlock(longer));
    EXPECT_FALSE(ParseForwardBlock(extendedBlock(args, 2)));
    EXPECT_FALSE(ParseForwardBlock(extendedBlock(args, 4)));
    EXPECT_FALSE(ParseForwardBlock(std::span(valid.data(), 6)));
    EXPECT_FALSE(ParseForwardBlock(extendedBlock({std::string("with\0nul", 8)}, 1)));
    auto overrun = valid;
    overrun[8] = '\xff';
    overrun[11] = '\x7f';
    EXPECT_FALSE(ParseForwardBlock(overrun));

    std::vector<std::string> many(129, "a");
    EXPECT_FALSE(ParseForwardBlock(extendedBlock(many, 129)));
    many.pop_back();
    EXPECT_TRUE(ParseForwardBlock(extendedBlock(many, 128)));

    const auto huge = extendedBlock({std::string(kMaxForwardBytes - 12 + 1, 'h')}, 1);
    EXPECT_FALSE(ParseForwardBlock(huge));
}

TEST(ForwardBlock, LimitsHostileCountsAndUnterminatedSlots) {
    const auto blockCounting = [](std::uint32_t count) {
        std::vector<char> block;
        put32(block, count);
        block.resize(kForwardBlockBytes, 'A');
        return ParseForwardBlock(block);
    };
    const auto args = blockCounting(0x7FFFFFFF);
    ASSERT_TRUE(args);
    EXPECT_EQ(*args, std::vector<std::string>(128, std::string(259, 'A')));
    EXPECT_EQ(blockCounting(0xFFFFFFFF), std::vector<std::string>{}) << "-1";
}

// Whatever the parser accepts stays within the slots and survives another trip unchanged.
void expectSafeArguments(const std::vector<std::string>& args) {
    ASSERT_LE(args.size(), kForwardSlots);
    for (const auto& arg : args) {
        ASSERT_EQ(arg.find('\0'), std::string::npos);
    }
    ASSERT_EQ(ParseForwardBlock(BuildForwardBlock(args)), args);
}

// Random and mutated blocks: the parser must stay inside the block (ASan watches). Every classic
// block gives arguments that fit their slots.
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
        for (const auto& arg : *args) {
            ASSERT_LE(arg.size(), kForwardSlotBytes - 1);
        }
        ASSERT_NO_FATAL_FAILURE(expectSafeArguments(*args));
    }
}

TEST(ForwardBlock, FuzzedExtendedBlocksParseSafely) {
    std::mt19937 random(1312);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto valid = BuildForwardBlock({"sonaro", "-outdir", std::string(700, 'o'), "-ms", "9"});
    ASSERT_NE(valid.size(), kForwardBlockBytes);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        auto block = valid;
        const int mutations = 1 + round % 8;
        for (int m = 0; m < mutations; ++m) {
            // Mostly the length fields, where a mistake would read outside the block.
            const std::size_t at = random() % 2 == 0 ? random() % 24 : random() % block.size();
            block[at] = static_cast<char>(byte(random));
        }
        if (round % 5 == 0) {
            block.resize(random() % block.size());
        }
        if (const auto args = ParseForwardBlock(block)) {
            ++accepted;
            ASSERT_NO_FATAL_FAILURE(expectSafeArguments(*args));
        }
    }
    EXPECT_GT(accepted, 0) << "mutated text bytes still make valid blocks";
}

// A classic block is read only at its exact length: the edges, then random lengths.
TEST(ForwardBlock, BlocksOfAnyOtherLengthAreRejected) {
    auto buffer = BuildForwardBlock({"sonaro", "-exit"});
    buffer.resize(2 * kForwardBlockBytes, '\x01');
    std::vector<std::size_t> lengths{0, kForwardBlockBytes - 1, kForwardBlockBytes,
                                     kForwardBlockBytes + 1};
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        lengths.push_back(random() % buffer.size());
    }
    for (const std::size_t length : lengths) {
        EXPECT_EQ(ParseForwardBlock(std::span(buffer.data(), length)).has_value(),
                  length == kForwardBlockBytes)
            << length;
    }
}

using Args = std::vector<std::string>;

TEST(PathOptions, RelativeValuesBecomeAbsoluteAgainstTheFolder) {
    Args args{"sonaro", "-outdir",     "rec", "-RecordFile", "../take.wav", "-OUTDIR",
              "/abs",   "-recordfile", "",    "-outdir",     "~/x"};
    EXPECT_TRUE(MakePathOptionsAbsolute(args, "/home/u"));
    EXPECT_EQ(args, (Args{"sonaro", "-outdir", "/home/u/rec", "-RecordFile", "/home/u/../take.wav",
                          "-OUTDIR", "/abs", "-recordfile", "", "-outdir", "/home/u/~/x"}));
    Args atRoot{"sonaro", "-outdir", "rec"};
    EXPECT_TRUE(MakePathOptionsAbsolute(atRoot, "/"));
    EXPECT_EQ(atRoot[2], "/rec");
}

// Only words the receiver takes as the path of one of these options change.
TEST(PathOptions, OtherWordsStayAsTheyAre) {
    const Args original{"rel",   "-outdirs", "a",       "-ms", "-outdir",
                        "-exit", "take.wav", "-record", "wav", "-outdir"};
    Args args = original;
    EXPECT_TRUE(MakePathOptionsAbsolute(args, "/home/u"));
    EXPECT_EQ(args, original);
}

TEST(PathOptions, WithoutAFolderRelativeValuesAreRefused) {
    Args args{"sonaro", "-outdir", "/abs", "-recordfile", "take.wav", "-outdir", "rec"};
    const Args original = args;
    std::string unresolved;
    EXPECT_FALSE(MakePathOptionsAbsolute(args, "", &unresolved));
    EXPECT_EQ(unresolved, "take.wav");
    EXPECT_EQ(args, original);
    Args absolute{"sonaro", "-outdir", "/abs"};
    EXPECT_TRUE(MakePathOptionsAbsolute(absolute, ""));
}

}  // namespace
}  // namespace sonaro
