#include "formats/encoder_options.h"

#include <gtest/gtest.h>

namespace sonaro {
namespace {

TEST(EncoderOptionsTest, VariableRateChecks) {
    Mp3Settings mp3;
    mp3.constantBitRate = false;
    mp3.vbrMinBitRate = 24;
    mp3.vbrMaxBitRate = 192;
    auto refused = CheckMp3Settings(mp3);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->messageBoxIcon, PromptIcon::Error);
    mp3.vbrMaxBitRate = 160;
    EXPECT_FALSE(CheckMp3Settings(mp3));
    mp3.vbrMaxBitRate = 16;
    refused = CheckMp3Settings(mp3);
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->messageBoxIcon);
    mp3.constantBitRate = true;
    EXPECT_FALSE(CheckMp3Settings(mp3));
}

TEST(EncoderOptionsTest, ListTextsAndDisplayedDefaults) {
    EXPECT_EQ(NumberFromListText("22050", 44100), 22050);
    EXPECT_EQ(NumberFromListText("", 44100), 44100);
    EXPECT_EQ(NumberFromListText("abc", 16), 16);
    EXPECT_EQ(NumberFromListText("-8000", 44100), 44100);
    EXPECT_EQ(AiffSettingsForDisplay({0, 0, 0}), (AiffSettings{2, 44100, 16}));
    EXPECT_EQ(AiffSettingsForDisplay({1, 8000, 8}), (AiffSettings{1, 8000, 8}));
}

}  // namespace
}  // namespace sonaro
