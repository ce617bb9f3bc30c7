#include <gtest/gtest.h>

#include <vector>

#include "audio/level_set.h"

namespace sonaro {
namespace {

TEST(LevelTest, QuarterOfFullScaleIsZeroDecibels) {
    EXPECT_EQ(LevelFromPeak(131072), 0);
    EXPECT_EQ(LevelFromPeak(0), -127);
    EXPECT_EQ(LevelFromPeak(65536), -6);
    EXPECT_EQ(LevelFromPeak(524272), 12);
    EXPECT_EQ(LevelFromPeak(16), -78);  // the quietest non-zero 16-bit sample
    // -0.5 dB sits at 131072 * 10^(-0.5/20) = 123739.9: below it rounds away from zero to -1.
    EXPECT_EQ(LevelFromPeak(123740), 0);
    EXPECT_EQ(LevelFromPeak(123739), -1);
}

TEST(LevelTest, BlockLevelIsTheLouderOfTheFirstTwoChannels) {
    // Left peaks negative, right is quiet; the third channel is ignored for the block level.
    const std::vector<InternalSample> block = {-131072, -1000, 524272, 16, 8, 0};
    std::int8_t levels[3] = {};
    EXPECT_EQ(ComputeBlockLevels(block.data(), 2, 3, levels), 0);
    EXPECT_EQ(levels[0], 0);
    EXPECT_EQ(levels[1], -42);
    EXPECT_EQ(levels[2], 12);

    const std::vector<InternalSample> silent(64, 0);
    EXPECT_EQ(ComputeBlockLevels(silent.data(), 64, 1, levels), -127);
}

}  // namespace
}  // namespace sonaro
