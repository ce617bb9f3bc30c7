// Byte layouts of the WAV and AIFF headers, including the placeholder and over-4-GiB sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "formats/aiff_header.h"
#include "formats/byte_order.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> result;
    for (int v : values) {
        result.push_back(static_cast<std::uint8_t>(v));
    }
    return result;
}

TEST(WavHeader, PcmHeaderOfOneSecondOfCdAudio) {
    std::uint8_t header[kPcmWavHeaderBytes];
    ASSERT_EQ(sizeof header, 46u);
    EncodePcmWavHeader(1, 2, 44100, 16, 176400, header);
    EXPECT_EQ(std::memcmp(header, "RIFF", 4), 0);
    EXPECT_EQ(GetLe32(header + 4), 176438u);
    EXPECT_EQ(std::memcmp(header + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(GetLe32(header + 16), 18u);
    EXPECT_EQ(GetLe16(header + 20), 1);
    EXPECT_EQ(GetLe16(header + 22), 2);
    EXPECT_EQ(GetLe32(header + 24), 44100u);
    EXPECT_EQ(GetLe32(header + 28), 176400u);
    EXPECT_EQ(GetLe16(header + 32), 4);
    EXPECT_EQ(GetLe16(header + 34), 16);
    EXPECT_EQ(GetLe16(header + 36), 0);
    EXPECT_EQ(std::memcmp(header + 38, "data", 4), 0);
    EXPECT_EQ(GetLe32(header + 42), 176400u);
}

TEST(WavHeader, OpenFilePlaceholdersMakeTheRiffSizeReadAllOnes) {
    std::uint8_t pcm[kPcmWavHeaderBytes];
    EncodePcmWavHeader(3, 1, 48000, 32, std::nullopt, pcm);
    EXPECT_EQ(GetLe16(pcm + 20), 3);
    EXPECT_EQ(GetLe32(pcm + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(pcm + 42), 0xFFFFFFD9u);

    std::uint8_t gsm[kGsmWavHeaderBytes];
    EncodeGsmWavHeader(8000, std::nullopt, gsm);
    EXPECT_EQ(GetLe32(gsm + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(gsm + 44), 0xFFFFFFD7u);
}

TEST(WavHeader, GsmHeaderLayout) {
    std::uint8_t header[kGsmWavHeaderBytes];
    ASSERT_EQ(sizeof header, 48u);
    EncodeGsmWavHeader(11025, 65, header);
    EXPECT_EQ(std::vector<std::uint8_t>(header + 16, header + 40),
              bytes({20,   0, 0, 0, 0x31, 0, 1, 0, 0x11, 0x2B, 0,    0,
                     0xBF, 8, 0, 0, 65,   0, 0, 0, 2,    0,    0x40, 1}));
    EXPECT_EQ(GetLe32(header + 28), 2239u);  // 11025 × 65 / 320
    EXPECT_EQ(GetLe32(header + 4), 105u);
    EXPECT_EQ(std::memcmp(header + 40, "data", 4), 0);
    EXPECT_EQ(GetLe32(header + 44), 65u);
}

TEST(WavHeader, CompressedHeaderCarriesTheExtraBytes) {
    const std::uint8_t extra[2] = {0xF9, 0x01};
    WavFormatFields format{0x11, 1, 11025, 5588, 256, 4, extra};
    std::uint8_t chunk[20];
    EncodeWavFormatFields(format, chunk);
    std::uint8_t header[WavHeaderBytes(20)];
    EncodeWavHeader(chunk, 20, 1024, header);
    EXPECT_EQ(GetLe32(header + 4), 1024u + 40);
    EXPECT_EQ(GetLe32(header + 16), 20u);
    EXPECT_EQ(GetLe16(header + 36), 2);
    EXPECT_EQ(GetLe16(header + 38), 0x1F9);
    EXPECT_EQ(GetLe32(header + 44), 1024u);
}

TEST(WavHeader, SizesThatNoLongerFitReadAsUnknownInsteadOfWrapping) {
    std::uint8_t header[kPcmWavHeaderBytes];
    EncodePcmWavHeader(1, 2, 44100, 16, 0xFFFFFFFFull - 38, header);
    EXPECT_EQ(GetLe32(header + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(header + 42), 0xFFFFFFD9u);
    // Sixty hours of CD audio: 38 GB.
    EncodePcmWavHeader(1, 2, 44100, 16, 60ull * 3600 * 176400, header);
    EXPECT_EQ(GetLe32(header + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(header + 42), 0xFFFFFFFFu);
    EncodePcmWavHeader(1, 2, 44100, 16, 0xFFFFFFFFull - 37, header);
    EXPECT_EQ(GetLe32(header + 42), 0xFFFFFFFFu);
}

TEST(AiffHeader, RatesAsExtendedNumbers) {
    std::uint8_t rate[10];
    EncodeAiffSampleRate(44100, rate);
    EXPECT_EQ(std::vector<std::uint8_t>(rate, rate + 10),
              bytes({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EncodeAiffSampleRate(8000, rate);
    EXPECT_EQ(std::vector<std::uint8_t>(rate, rate + 10),
              bytes({0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}));
    EncodeAiffSampleRate(1, rate);
    EXPECT_EQ(std::vector<std::uint8_t>(rate, rate + 10),
              bytes({0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}));
    EncodeAiffSampleRate(0xFFFFFFFFu, rate);
    EXPECT_EQ(std::vector<std::uint8_t>(rate, rate + 10),
              bytes({0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EncodeAiffSampleRate(0, rate);
    EXPECT_EQ(std::vector<std::uint8_t>(rate, rate + 10), std::vector<std::uint8_t>(10, 0));
}

TEST(AiffHeader, OpenAndFinalHeaders) {
    std::uint8_t header[kAiffHeaderBytes];
    EncodeAiffHeader(2, 16, 44100, std::nullopt, header);
    EXPECT_EQ(std::memcmp(header, "FORM", 4), 0);
    EXPECT_EQ(GetBe32(header + 4), 46u);
    EXPECT_EQ(std::memcmp(header + 8, "AIFFCOMM", 8), 0);
    EXPECT_EQ(GetBe32(header + 16), 18u);
    EXPECT_EQ(GetBe16(header + 20), 2);
    EXPECT_EQ(GetBe32(header + 22), 0u);
    EXPECT_EQ(GetBe16(header + 26), 16);
    EXPECT_EQ(std::memcmp(header + 38, "SSND", 4), 0);
    EXPECT_EQ(GetBe32(header + 42), 0xFFFFFFFFu);
    EXPECT_EQ(GetBe32(header + 46), 0u);
    EXPECT_EQ(GetBe32(header + 50), 0u);

    EncodeAiffHeader(2, 16, 44100, 176400, header);
    EXPECT_EQ(GetBe32(header + 4), 176446u);
    EXPECT_EQ(GetBe32(header + 22), 44100u);
    EXPECT_EQ(GetBe32(header + 42), 176408u);

    EncodeAiffHeader(1, 8, 8000, 0x100000000ull, header);
    EXPECT_EQ(GetBe32(header + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetBe32(header + 22), 0xFFFFFFFFu);
    EXPECT_EQ(GetBe32(header + 42), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace sonaro
