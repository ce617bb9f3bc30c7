// The codecs: G.711 over every code and input, the MS ADPCM encoder against the serial trials it
// replaced and damaged MS ADPCM blocks; the codec manager's enumeration and streams, and the WAV
// chooser's codec list with the preselection of a stored format. Files of these codecs are
// written and read back against sox and ffmpeg in readers_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/g711.h"
#include "formats/ms_adpcm.h"
#include "formats/wav_codec_list.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

// The encoder as it was before the trials ran side by side: seven full trial encodes, then an
// eighth with the chosen predictor. Its output is the reference, byte for byte.
namespace reference {

constexpr int kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                     {240, 0}, {460, -208}, {392, -232}};
constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

struct Channel {
    int coef1 = 256;
    int coef2 = 0;
    int delta = 16;
    int sample1 = 0;
    int sample2 = 0;

    int encode(int sample) {
        const int predicted = (sample1 * coef1 + sample2 * coef2) >> 8;
        const int error = sample - predicted;
        const int rounded =
            error >= 0 ? (error + delta / 2) / delta : -((-error + delta / 2) / delta);
        const int code = std::clamp(rounded, -8, 7) & 0x0F;
        const int signedCode = code >= 8 ? code - 16 : code;
        sample2 = sample1;
        sample1 = std::clamp(predicted + signedCode * delta, -32768, 32767);
        delta = std::clamp((kAdaptation[code] * delta) >> 8, 16, 0x7FFFFFFF / 768);
        return code;
    }
};

Channel start(const std::int16_t* pcm, int channels, int c, int predictor) {
    Channel channel;
    channel.coef1 = kCoefficients[predictor][0];
    channel.coef2 = kCoefficients[predictor][1];
    channel.sample2 = pcm[c];
    channel.sample1 = pcm[channels + c];
    channel.delta = std::max(16, std::abs(pcm[2 * channels + c] - pcm[channels + c]) / 2);
    return channel;
}

void encodeBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out) {
    const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        int best = 0;
        std::int64_t bestError = INT64_MAX;
        for (int predictor = 0; predictor < 7; ++predictor) {
            Channel trial = start(pcm, channels, c, predictor);
            std::int64_t error = 0;
            for (int i = 2; i < frames; ++i) {
                const int wanted = pcm[i * channels + c];
                trial.encode(wanted);
                error +=
                    static_cast<std::int64_t>(wanted - trial.sample1) * (wanted - trial.sample1);
            }
            if (error < bestError) {
                best = predictor;
                bestError = error;
            }
        }
        coders[c] = start(pcm, channels, c, best);
        out[c] = static_cast<std::uint8_t>(best);
        PutLe16(out + channels + 2 * c, static_cast<std::uint16_t>(coders[c].delta));
        PutLe16(out + 3 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample1));
        PutLe16(out + 5 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample2));
    }
    std::uint8_t* data = out + 7 * channels;
    const std::int16_t* source = pcm + 2 * channels;
    for (int i = 0; i < (frames - 2) * channels; i += 2) {
        const int high = coders[i % channels].encode(source[i]);
        const int low = coders[(i + 1) % channels].encode(source[i + 1]);
        *data++ = static_cast<std::uint8_t>((high << 4) | low);
    }
}

}  // namespace reference

// Signals that favour different predictors, and ones that drive the delta to its limits: quiet
// and loud noise, tones low and high, full-scale squares that clip, silence, and steps.
std::vector<std::int16_t> signal(int kind, std::size_t count, std::mt19937& random) {
    std::vector<std::int16_t> pcm(count);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::uniform_int_distribution<int> quiet(-40, 40);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i);
        double value = 0;
        switch (kind % 6) {
            case 0:
                value = full(random);
                break;
            case 1:
                value = quiet(random);
                break;
            case 2:
                value = 30000 * std::sin(t * 0.01) + quiet(random);
                break;
            case 3:
                value = 20000 * std::sin(t * 2.9) * std::sin(t * 0.001);
                break;
            case 4:
                value = (i / (7 + kind)) % 2 != 0 ? 32767 : -32768;
                break;
            default:
                value = (i / 500) % 3 == 0 ? 0 : full(random) / ((i / 500) % 3 * 100 + 1);
                break;
        }
        pcm[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return pcm;
}

TEST(MsAdpcm, EncoderOutputIsByteIdenticalToTheSerialTrials) {
    std::mt19937 random(2026);
    for (const int channels : {1, 2}) {
        for (const int blockAlign :
             {7 * channels + 1, 256, 512 * channels, 1024 * channels, 4096}) {
            const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
            for (int kind = 0; kind < 12; ++kind) {
                const auto pcm = signal(kind, static_cast<std::size_t>(frames) * channels, random);
                std::vector<std::uint8_t> expected(static_cast<std::size_t>(blockAlign));
                std::vector<std::uint8_t> actual(static_cast<std::size_t>(blockAlign), 0xAA);
                reference::encodeBlock(pcm.data(), channels, blockAlign, expected.data());
                EncodeMsAdpcmBlock(pcm.data(), channels, blockAlign, actual.data());
                ASSERT_EQ(actual, expected)
                    << channels << " channels, block " << blockAlign << ", signal " << kind;
            }
        }
    }
}

TEST(MsAdpcm, CorruptBlocksDecodeWithoutOverflow) {
    std::vector<std::uint8_t> block(256, 0x88);
    block[0] = 200;  // predictor index out of range
    block[1] = 0xFF;
    block[2] = 0x7F;  // largest delta
    std::vector<std::int16_t> pcm(MsAdpcmSamplesPerBlock(256, 1));
    DecodeMsAdpcmBlock(block.data(), 1, 256, pcm.data());
    EXPECT_EQ(pcm.back(), -32768);
}

TEST(G711, EveryCodeSurvivesARoundTripAndEveryInputStaysWithinItsSegment) {
    for (int code = 0; code < 256; ++code) {
        const auto c = static_cast<std::uint8_t>(code);
        EXPECT_EQ(DecodeMuLaw(EncodeMuLaw(DecodeMuLaw(c))), DecodeMuLaw(c)) << code;
        EXPECT_EQ(DecodeALaw(EncodeALaw(DecodeALaw(c))), DecodeALaw(c)) << code;
    }
    for (int value = -32768; value <= 32767; ++value) {
        const auto sample = static_cast<std::int16_t>(value);
        // Relative error of an 8-bit logarithmic code: at most 1/32 of the magnitude plus the
        // smallest step.
        const int allowed = std::abs(value) / 32 + 16;
        ASSERT_LE(std::abs(DecodeMuLaw(EncodeMuLaw(sample)) - value), allowed + 16) << value;
        ASSERT_LE(std::abs(DecodeALaw(EncodeALaw(sample)) - value), allowed) << value;
    }
    EXPECT_EQ(EncodeMuLaw(0), 0xFF);
    EXPECT_EQ(EncodeALaw(0), 0xD5);
}

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

TEST(CompressedWriter, AFormatNoDriverConvertsGivesAnUnusableWriter) {
    const test::TempDir dir("compressed");
    WaveFormat unknown;
    unknown.formatTag = 0x55;
    CompressedWavWriter writer(dir + "/x.wav", unknown, CodecManager());
    EXPECT_TRUE(writer.isUnusable());
}

TEST(WavCodecList, PcmAndGsmEntriesComeFirstThenTheDriversTags) {
    const CodecManager codecs;
    const WavCodecList list(codecs);
    ASSERT_EQ(list.entries().size(), 2u + 4);
    EXPECT_EQ(list.entries()[0].name, "PCM Uncompressed");
    EXPECT_EQ(list.entries()[1].name, "GSM6.10 Native");
    EXPECT_EQ(list.Formats(0).size(), 88u);
    EXPECT_TRUE(list.Formats(6).empty());

    // Bits follow index mod 4 (16, 8, 24, 32): 12 is the 16-bit and 13 the 8-bit 8000 Hz stereo
    // format, which is also where the position lookup puts them.
    const auto pcm12 = PcmListFormat(12);
    EXPECT_EQ(pcm12.label, "8000 Hz, 16 Bits, Stereo");
    EXPECT_EQ(pcm12.format.blockAlign, 4);
    EXPECT_EQ(pcm12.format.avgBytesPerSec, 32000u);
    EXPECT_EQ(PcmListFormat(13).label, "8000 Hz, 8 Bits, Stereo");
    EXPECT_EQ(PcmListFormat(50).label, "44100 Hz, 24 Bits, Mono");
    const auto pcm87 = PcmListFormat(87);
    EXPECT_EQ(pcm87.label, "96000 Hz, 32 Bits, Stereo");

    const auto gsm = list.Formats(1);
    ASSERT_EQ(gsm.size(), 2u);
    EXPECT_EQ(gsm[0].label, "8000Hz Mono");
    EXPECT_EQ(gsm[1].label, "11025Hz Mono");
    EXPECT_EQ(gsm[1].format.avgBytesPerSec, 2239u);
    EXPECT_EQ(gsm[1].format.blockAlign, 65);
    ASSERT_EQ(gsm[1].format.extra.size(), 2u);
    EXPECT_EQ(GetLe16(gsm[1].format.extra.data()), 320);
}

TEST(WavCodecList, StoredFormatsFindTheirPositions) {
    const CodecManager codecs;
    const WavCodecList list(codecs);
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(7000, 2, 16)), (WavListPosition{0, 12}));
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(4000, 1, 8)), (WavListPosition{0, 1}));
    EXPECT_EQ(list.FindPosition(MakePcmWaveFormat(192000, 2, 32)), (WavListPosition{0, 87}));

    // Every listed format finds itself; one of another maker finds no entry.
    for (std::size_t codec = 0; codec < list.entries().size(); ++codec) {
        const auto formats = list.Formats(codec);
        for (std::size_t i = 0; i < formats.size(); ++i) {
            EXPECT_EQ(list.FindPosition(formats[i].format), (WavListPosition{codec, i}));
        }
    }
    WaveFormat foreign = list.Formats(2)[3].format;
    foreign.manufacturerId = 1;
    EXPECT_EQ(list.FindPosition(foreign), (WavListPosition{0, 0}));
    WaveFormat oddRate = list.Formats(2)[3].format;
    oddRate.samplesPerSec = 12345;
    EXPECT_EQ(list.FindPosition(oddRate), (WavListPosition{2, 0}));
}

}  // namespace
}  // namespace sonaro
