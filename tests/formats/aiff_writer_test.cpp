// The AIFF writer on disk, read back by sox.
#include <gtest/gtest.h>

#include <vector>

#include "audio/audio_samples.h"
#include "formats/aiff_writer.h"
#include "formats/byte_order.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class AiffWriterTest : public ::testing::Test {
  protected:
    const test::TempDir m_dir{"aiff"};
};

TEST_F(AiffWriterTest, OneSecondOfCdAudioHasTheExactLayoutAndSamples) {
    std::vector<InternalSample> samples;
    for (std::int16_t s : test::SineFrames(44100, 2, 44100, 1000, 32000)) {
        samples.push_back(ToInternalSample(s) + 7);  // rounding must take it back to s
    }
    const std::string file = m_dir + "/cd.aif";
    {
        SinkRef writer = CreateAiffWriter(file, 44100, 2, 16);
        ASSERT_FALSE(writer->isUnusable());
        test::WriteAll(*writer, samples, 8192);
        // The checkpoint after one second counts its frames behind the open-state FORM size.
        const auto open = test::ReadFileBytes(file);
        EXPECT_EQ(GetBe32(&open[4]), 46u);
        EXPECT_EQ(GetBe32(&open[22]), 44100u);
        EXPECT_EQ(GetBe32(&open[42]), 176408u);
    }
    const auto bytes = test::ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 176454u);
    EXPECT_EQ(GetBe32(&bytes[4]), 176446u);
    EXPECT_EQ(GetBe32(&bytes[22]), 44100u);
    EXPECT_EQ(GetBe32(&bytes[42]), 176408u);
    EXPECT_EQ(std::vector<std::uint8_t>(&bytes[28], &bytes[38]),
              (std::vector<std::uint8_t>{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(test::DecodeWithSox(file), test::Pcm16Of(samples));
    EXPECT_EQ(test::DecodeWithFfmpeg(file), test::Pcm16Of(samples));
}

TEST_F(AiffWriterTest, EightBitSamplesAndTrimming) {
    const std::string file = m_dir + "/eight.aif";
    const std::vector<InternalSample> samples = {2048, -4096, 524287, -524288, 4095, 100000};
    {
        AiffWriter writer(file, 8000, 1, 8);
        writer.Write(samples.data(), 6);
        writer.SeekTo(5);
    }
    auto bytes = test::ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 54u + 5);
    EXPECT_EQ(GetBe16(&bytes[26]), 8);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.end()),
              (std::vector<std::uint8_t>{0x00, 0xFF, 0x7F, 0x80, 0x01}));
    EXPECT_EQ(std::vector<std::uint8_t>(&bytes[28], &bytes[32]),
              (std::vector<std::uint8_t>{0x40, 0x0B, 0xFA, 0x00}));
    // The top sample saturates instead of wrapping to the bottom.
    EXPECT_EQ(test::DecodeWithSox(file), (std::vector<std::int16_t>{0, -256, 32512, -32768, 256}));

    {
        AiffWriter writer(file, 8000, 2, 16);
        writer.Write(samples.data(), 3);
        writer.SeekTo(0);
    }
    bytes = test::ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_EQ(GetBe32(&bytes[22]), 0u);
    EXPECT_EQ(GetBe32(&bytes[4]), 46u);
    EXPECT_EQ(GetBe32(&bytes[42]), 8u);
}

}  // namespace
}  // namespace sonaro
