// The codec manager's enumeration and streams, and the compressed WAV writer built on them, with
// sox as the independent reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "audio/audio_samples.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/wav_header.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

WaveFormat pcm16(const WaveFormat& like) {
    WaveFormat format;
    format.channels = like.channels;
    format.samplesPerSec = like.samplesPerSec;
    format.blockAlign = static_cast<std::uint16_t>(2 * like.channels);
    format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
    return format;
}

// Every standard format of every driver, found through the enumeration.
std::vector<CodecFormatDetails> allFormats(const CodecManager& codecs) {
    std::vector<CodecFormatDetails> result;
    for (const CodecDriverDetails& driver : codecs.Drivers()) {
        for (const CodecFormatTagDetails& tag : codecs.FormatTags(driver.driverId)) {
            const auto formats = codecs.Formats(driver.driverId, tag.formatTag);
            EXPECT_EQ(formats.size(), tag.standardFormats) << tag.name;
            result.insert(result.end(), formats.begin(), formats.end());
        }
    }
    return result;
}

TEST(CodecManager, DriversOfferTheFourTagsWithDistinctIdentifiers) {
    const CodecManager codecs;
    std::set<std::uint16_t> tags;
    std::set<std::pair<int, int>> ids;
    for (const CodecDriverDetails& driver : codecs.Drivers()) {
        ids.insert({driver.manufacturerId, driver.productId});
        for (const CodecFormatTagDetails& tag : codecs.FormatTags(driver.driverId)) {
            tags.insert(tag.formatTag);
            EXPECT_FALSE(tag.name.empty());
        }
    }
    EXPECT_EQ(tags, (std::set<std::uint16_t>{2, 6, 7, 0x11}));
    EXPECT_EQ(ids.size(), codecs.Drivers().size());
    EXPECT_TRUE(codecs.FormatTags(99).empty());
    EXPECT_TRUE(codecs.Formats(1, 0x11).empty());  // the G.711 driver has no IMA formats
}

TEST(CodecManager, StreamsOpenForEveryListedFormatAndOnlyForMatchingPcm) {
    const CodecManager codecs;
    const auto formats = allFormats(codecs);
    ASSERT_EQ(formats.size(), 4u * 14);
    for (const CodecFormatDetails& entry : formats) {
        const WaveFormat& format = entry.format;
        EXPECT_EQ(format.manufacturerId, CodecManager::kManufacturerId);
        EXPECT_THAT(entry.description,
                    testing::HasSubstr(std::to_string(format.samplesPerSec) + " Hz"));
        EXPECT_NE(codecs.OpenStream(pcm16(format), format), nullptr) << entry.description;
        EXPECT_NE(codecs.OpenStream(format, pcm16(format)), nullptr) << entry.description;
        WaveFormat otherRate = pcm16(format);
        otherRate.samplesPerSec += 1;
        EXPECT_EQ(codecs.OpenStream(otherRate, format), nullptr);
    }
    WaveFormat broken = formats.back().format;
    broken.blockAlign = 3;
    EXPECT_EQ(codecs.OpenStream(pcm16(broken), broken), nullptr);
    broken = formats.back().format;
    broken.channels = 3;
    EXPECT_EQ(codecs.OpenStream(pcm16(broken), broken), nullptr);
}

TEST(CodecManager, BlockAlignedConversionKeepsTheRestAndEndPadsIt) {
    const CodecManager codecs;
    const auto formats = codecs.Formats(2, 0x11);    // IMA ADPCM
    const WaveFormat& ima = formats.front().format;  // 8000 Hz mono, 505 samples per block
    auto stream = codecs.OpenStream(pcm16(ima), ima);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->DestinationSize(2 * 505), 256u);
    EXPECT_EQ(stream->DestinationSize(2 * 506), 512u);
    std::vector<std::uint8_t> source(2 * 700, 0);
    std::vector<std::uint8_t> destination(stream->DestinationSize(source.size()));
    StreamHeader header{source.data(), source.size(), 0, destination.data(), destination.size(), 0};
    stream->Convert(header, ConvertMode::BlockAlign);
    EXPECT_EQ(header.sourceUsed, 2u * 505);
    EXPECT_EQ(header.destinationUsed, 256u);
    StreamHeader rest{source.data() + header.sourceUsed,
                      source.size() - header.sourceUsed,
                      0,
                      destination.data(),
                      destination.size(),
                      0};
    stream->Convert(rest, ConvertMode::End);
    EXPECT_EQ(rest.sourceUsed, 2u * 195);
    EXPECT_EQ(rest.destinationUsed, 256u);
}

class CompressedWriterTest : public ::testing::TestWithParam<std::pair<int, int>> {
  protected:
    const test::TempDir m_dir{"compressed"};
};

// Decodes the data chunk of a file the writer made through the codec manager.
std::vector<std::int16_t> decodeOurselves(const CodecManager& codecs, const WaveFormat& format,
                                          const std::vector<std::uint8_t>& data) {
    auto stream = codecs.OpenStream(format, pcm16(format));
    std::vector<std::uint8_t> out(stream->DestinationSize(data.size()));
    StreamHeader header{data.data(), data.size(), 0, out.data(), out.size(), 0};
    stream->Convert(header, ConvertMode::BlockAlign);
    EXPECT_EQ(header.sourceUsed, data.size());
    std::vector<std::int16_t> samples(header.destinationUsed / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(GetLe16(&out[2 * i]));
    }
    return samples;
}

TEST_P(CompressedWriterTest, FilesReadBackInSoxAsOurDecoderReadsThem) {
    const CodecManager codecs;
    const auto [driverId, tag] = GetParam();
    const auto formats = codecs.Formats(driverId, static_cast<std::uint16_t>(tag));
    const WaveFormat format = formats[formats.size() - 3].format;  // 44100 Hz stereo
    ASSERT_EQ(format.samplesPerSec, 44100u);
    const int channels = format.channels;
    const int frames = 30000;  // several source buffers, ends in a partial block
    const auto pcm = test::SineFrames(frames, channels, 44100, 440, 12000);
    const auto samples = test::InternalOf(pcm);
    const std::string file = m_dir + "/c.wav";
    const std::size_t headerBytes = WavHeaderBytes(kWavFormatFieldsBytes + format.extra.size());
    {
        CompressedWavWriter writer(file, format, codecs);
        ASSERT_FALSE(writer.isUnusable());
        test::WriteAll(writer, samples, 3001);
        writer.SeekTo(0);  // not trimmable
        const auto open = test::ReadFileBytes(file);
        EXPECT_EQ(GetLe32(&open[4]), 0xFFFFFFFFu);
    }
    const auto bytes = test::ReadFileBytes(file);
    ASSERT_GT(bytes.size(), headerBytes);
    const std::uint32_t dataBytes = GetLe32(&bytes[headerBytes - 4]);
    EXPECT_EQ(dataBytes, bytes.size() - headerBytes);
    EXPECT_EQ(dataBytes % format.blockAlign, 0u);
    EXPECT_EQ(GetLe32(&bytes[4]), bytes.size() - 8);
    EXPECT_EQ(GetLe16(&bytes[36]), format.extra.size());
    const std::vector<std::uint8_t> data(bytes.begin() + static_cast<long>(headerBytes),
                                         bytes.end());
    const auto ours = decodeOurselves(codecs, format, data);
    ASSERT_GE(ours.size(), pcm.size());
    EXPECT_EQ(test::DecodeWithSox(file), ours);
    EXPECT_GT(test::SignalToNoiseDb(pcm, ours), tag == 2 || tag == 0x11 ? 20.0 : 35.0);
}

INSTANTIATE_TEST_SUITE_P(AllCodecs, CompressedWriterTest,
                         ::testing::Values(std::pair{1, 6}, std::pair{1, 7}, std::pair{2, 0x11},
                                           std::pair{3, 2}));

TEST(CompressedWriter, AFormatNoDriverConvertsGivesAnUnusableWriter) {
    const test::TempDir dir("compressed");
    WaveFormat unknown;
    unknown.formatTag = 0x55;
    CompressedWavWriter writer(dir + "/x.wav", unknown, CodecManager());
    EXPECT_TRUE(writer.isUnusable());
}

}  // namespace
}  // namespace sonaro
