// The WAV writers on disk: header bytes while open and after close, trimming, and the samples
// as sox reads them back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/byte_order.h"
#include "formats/gsm_codec.h"
#include "formats/gsm_wav_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/wav_header.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using test::ReadFileBytes;

class WavWriterTest : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_dir + "/" + name; }
    const test::TempDir m_dir{"wav"};
};

TEST_F(WavWriterTest, OneSecondOfCdAudioHasTheExactLayoutAndSamples) {
    const auto samples = test::RandomSamples(2 * 44100);
    const std::string file = path("cd.wav");
    {
        PcmWavWriter writer(file, 44100, 2, PcmSampleType::Signed16);
        ASSERT_FALSE(writer.isUnusable());
        test::WriteAll(writer, samples, 4410);
        const auto open = ReadFileBytes(file);
        ASSERT_GE(open.size(), 46u);
        // The checkpoint after one second names its data; the RIFF size still marks it open.
        EXPECT_EQ(GetLe32(&open[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLe32(&open[42]), 176400u);
        EXPECT_EQ(writer.position(), 44100);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 176446u);
    EXPECT_EQ(GetLe32(&bytes[4]), 176438u);
    EXPECT_EQ(GetLe32(&bytes[42]), 176400u);
    EXPECT_EQ(test::DecodeWithSox(file), test::Pcm16Of(samples));
}

TEST_F(WavWriterTest, EveryPcmWidthAndFloatReadsBackExactlyInSox) {
    const auto samples = test::RandomSamples(2 * 3000, 2);
    struct Case {
        PcmSampleType type;
        int bits;
    };
    for (const Case c : {Case{PcmSampleType::Unsigned8, 8}, Case{PcmSampleType::Signed24, 24},
                         Case{PcmSampleType::Signed32, 32}, Case{PcmSampleType::Float32, 32}}) {
        const std::string file = path("width.wav");
        PcmWavWriter(file, 22050, 2, c.type).Write(samples.data(), 3000);
        const auto bytes = ReadFileBytes(file);
        const std::uint32_t bytesPerSample = static_cast<std::uint32_t>(c.bits / 8);
        ASSERT_EQ(bytes.size(), 46 + 3000 * 2 * bytesPerSample) << c.bits;
        EXPECT_EQ(GetLe16(&bytes[32]), 2 * bytesPerSample);
        EXPECT_EQ(GetLe16(&bytes[34]), c.bits);
        EXPECT_EQ(GetLe16(&bytes[20]), c.type == PcmSampleType::Float32 ? 3 : 1);
        const auto decoded = test::DecodeWithSox32(file);
        ASSERT_EQ(decoded.size(), samples.size()) << c.bits;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto u = static_cast<std::uint32_t>(SaturateInternal(samples[i]));
            std::int64_t expected = 0;
            std::int64_t tolerance = 0;
            switch (c.type) {
                case PcmSampleType::Unsigned8:
                    expected =
                        std::min((SaturateInternal(samples[i]) + 2048) >> 12, 127) * (1 << 24);
                    break;
                case PcmSampleType::Signed24:
                    expected = static_cast<std::int32_t>(u << 12);
                    break;
                case PcmSampleType::Signed32:
                    expected = static_cast<std::int32_t>(u << 12);
                    break;
                default:  // float: ±1.0 is full scale; sox clips +1.0 to the largest value
                    expected = std::min<std::int64_t>(std::int64_t{samples[i]} << 12, 0x7FFFFFFF);
                    tolerance = 1;
                    break;
            }
            ASSERT_NEAR(decoded[i], expected, tolerance) << c.bits << " sample " << i;
        }
    }
}

TEST_F(WavWriterTest, SeekToCutsTheFileAndWritingGoesOnFromThere) {
    const auto samples = test::RandomSamples(1000, 3);
    const std::string file = path("trim.wav");
    {
        PcmWavWriter writer(file, 8000, 1, PcmSampleType::Signed16);
        writer.Write(samples.data(), 600);
        writer.SeekTo(700);  // beyond the end: ignored
        EXPECT_EQ(writer.position(), 600);
        writer.SeekTo(200);
        EXPECT_EQ(ReadFileBytes(file).size(), 46u + 400);
        writer.Write(&samples[600], 400);
        EXPECT_EQ(writer.position(), 600);
    }
    std::vector<std::int16_t> expected;
    for (std::size_t i = 0; i < 1000; ++i) {
        if (i < 200 || i >= 600) {
            expected.push_back(ToPcm16(samples[i]));
        }
    }
    EXPECT_EQ(test::DecodeWithSox(file), expected);

    {
        PcmWavWriter writer(file, 8000, 1, PcmSampleType::Signed16);
        writer.Write(samples.data(), 1000);
        writer.SeekTo(-5);
        EXPECT_EQ(writer.position(), 0);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(GetLe32(&bytes[4]), 38u);
    EXPECT_EQ(GetLe32(&bytes[42]), 0u);
}

TEST_F(WavWriterTest, AnEarlierFileOfTheSameNameIsReplaced) {
    const std::string file = path("again.wav");
    test::WriteFileBytes(file, std::vector<std::uint8_t>(100000, 0xAB));
    const auto samples = test::RandomSamples(10, 4);
    PcmWavWriter(file, 8000, 1, PcmSampleType::Signed16).Write(samples.data(), 10);
    EXPECT_EQ(ReadFileBytes(file).size(), 66u);
}

TEST_F(WavWriterTest, AFileThatCannotBeCreatedGivesAnUnusableWriterThatSaysWhy) {
    PcmWavWriter writer(path("missing/folder.wav"), 8000, 1, PcmSampleType::Signed16);
    EXPECT_TRUE(writer.isUnusable());
    EXPECT_THAT(writer.WriteError(), testing::HasSubstr("No such file or directory"));
    const auto samples = test::RandomSamples(10);
    writer.Write(samples.data(), 10);
    EXPECT_EQ(writer.position(), 10);

    EXPECT_TRUE(PcmWavWriter(path("none.wav"), 8000, 0, PcmSampleType::Signed16).isUnusable());
    EXPECT_TRUE(PcmWavWriter(path("none.wav"), 0, 1, PcmSampleType::Signed16).isUnusable());
}

TEST_F(WavWriterTest, GsmPadsTheLastBlockAndReadsBackAsLibgsmDecodesIt) {
    const std::string shortFile = path("short.wav");
    { GsmWavWriter(shortFile, 8000).Write(test::RandomSamples(100).data(), 100); }
    auto bytes = ReadFileBytes(shortFile);
    ASSERT_EQ(bytes.size(), 48u + 65);
    EXPECT_EQ(GetLe32(&bytes[44]), 65u);
    EXPECT_EQ(GetLe32(&bytes[4]), 105u);

    // 2.5 blocks of a tone written in uneven pieces.
    const auto tone = test::InternalOf(test::SineFrames(800, 1, 8000, 440, 8000));
    const std::string file = path("tone.wav");
    {
        GsmWavWriter writer(file, 8000);
        const auto open = ReadFileBytes(file);
        EXPECT_EQ(GetLe32(&open[44]), 0xFFFFFFD7u);
        test::WriteAll(writer, tone, 77);
    }
    bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 48u + 3 * 65);
    GsmCodec decoder;
    std::vector<std::int16_t> ours(3 * 320);
    for (int b = 0; b < 3; ++b) {
        ASSERT_TRUE(decoder.DecodeBlock(&bytes[48 + 65 * b], &ours[320 * b]));
    }
    EXPECT_EQ(test::DecodeWithSox(file), ours);
}

}  // namespace
}  // namespace sonaro
