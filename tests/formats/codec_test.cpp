// The codec cores against independent decoders: files assembled here are read by sox, which must
// give exactly what our decoders give, and by ffmpeg, which must come close; our decoding must
// stay within each codec's error of the input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "formats/g711.h"
#include "formats/gsm_codec.h"
#include "formats/ima_adpcm.h"
#include "formats/ms_adpcm.h"
#include "formats/wav_header.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using test::DecodeWithFfmpeg;
using test::DecodeWithSox;
using test::SignalToNoiseDb;
using test::SineFrames;

// Writes a WAV file with the given format fields and data.
std::string writeWav(const std::string& dir, const std::string& name, const WavFormatFields& format,
                     const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> chunk(kWavFormatFieldsBytes + format.extra.size());
    EncodeWavFormatFields(format, chunk.data());
    std::vector<std::uint8_t> file(WavHeaderBytes(chunk.size()));
    EncodeWavHeader(chunk.data(), chunk.size(), data.size(), file.data());
    file.insert(file.end(), data.begin(), data.end());
    const std::string path = dir + "/" + name;
    test::WriteFileBytes(path, file);
    return path;
}

class CodecTest : public ::testing::Test {
  protected:
    const test::TempDir m_dir{"codec"};
};

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

TEST_F(CodecTest, G711FilesDecodeInSoxAndFfmpegAsInOurDecoder) {
    const auto pcm = SineFrames(8000, 2, 8000, 440, 30000);
    for (const bool muLaw : {true, false}) {
        std::vector<std::uint8_t> codes;
        std::vector<std::int16_t> ours;
        for (std::int16_t sample : pcm) {
            codes.push_back(muLaw ? EncodeMuLaw(sample) : EncodeALaw(sample));
            ours.push_back(muLaw ? DecodeMuLaw(codes.back()) : DecodeALaw(codes.back()));
        }
        WavFormatFields format{static_cast<std::uint16_t>(muLaw ? 7 : 6), 2, 8000, 16000, 2, 8, {}};
        const std::string path = writeWav(m_dir, muLaw ? "mu.wav" : "a.wav", format, codes);
        EXPECT_EQ(DecodeWithSox(path), ours) << path;
        EXPECT_EQ(DecodeWithFfmpeg(path), ours) << path;
        EXPECT_GT(SignalToNoiseDb(pcm, ours), 35.0);
    }
}

// ffmpeg's ADPCM decoders round differently from the reference ones (an exact step product, a
// division instead of a shift), so their output drifts a little from ours within each block.
void expectCloseDecoding(const std::vector<std::int16_t>& theirs,
                         const std::vector<std::int16_t>& ours) {
    ASSERT_EQ(theirs.size(), ours.size());
    EXPECT_GT(SignalToNoiseDb(ours, theirs), 40.0);
}

// A signal with a sine, a jump and quiet noise, to drive the adaptive step sizes both ways.
std::vector<std::int16_t> testSignal(int frames, int channels, int rate) {
    auto samples = SineFrames(frames, channels, rate, 440, 12000);
    std::srand(7);
    for (std::size_t i = samples.size() / 2; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(samples[i] / 8 + std::rand() % 200 - 100);
    }
    return samples;
}

TEST_F(CodecTest, ImaAdpcmFilesDecodeInSoxAndFfmpegAsInOurDecoder) {
    for (const int channels : {1, 2}) {
        const int blockAlign = 512 * channels;
        const int perBlock = ImaAdpcmSamplesPerBlock(blockAlign, channels);
        ASSERT_EQ(perBlock, 1017);
        const int blocks = 20;
        const auto pcm = testSignal(perBlock * blocks, channels, 22050);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(blockAlign) * blocks);
        std::vector<std::int16_t> ours(pcm.size());
        ImaAdpcmEncoderState state;
        for (int b = 0; b < blocks; ++b) {
            const std::size_t offset = static_cast<std::size_t>(b) * perBlock * channels;
            EncodeImaAdpcmBlock(&pcm[offset], channels, blockAlign, &data[b * blockAlign], state);
            DecodeImaAdpcmBlock(&data[b * blockAlign], channels, blockAlign, &ours[offset]);
        }
        std::uint8_t extra[2] = {static_cast<std::uint8_t>(perBlock & 0xFF),
                                 static_cast<std::uint8_t>(perBlock >> 8)};
        WavFormatFields format{0x11,
                               static_cast<std::uint16_t>(channels),
                               22050,
                               static_cast<std::uint32_t>(22050 * blockAlign / perBlock),
                               static_cast<std::uint16_t>(blockAlign),
                               4,
                               extra};
        const std::string path = writeWav(m_dir, "ima.wav", format, data);
        EXPECT_EQ(DecodeWithSox(path), ours) << channels;
        expectCloseDecoding(DecodeWithFfmpeg(path), ours);
        EXPECT_GT(SignalToNoiseDb(pcm, ours), 20.0) << channels;
    }
}

TEST_F(CodecTest, MsAdpcmFilesDecodeInSoxAndFfmpegAsInOurDecoder) {
    for (const int channels : {1, 2}) {
        const int blockAlign = 256 * channels;
        const int perBlock = MsAdpcmSamplesPerBlock(blockAlign, channels);
        ASSERT_EQ(perBlock, 500);
        const int blocks = 30;
        const auto pcm = testSignal(perBlock * blocks, channels, 11025);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(blockAlign) * blocks);
        std::vector<std::int16_t> ours(pcm.size());
        for (int b = 0; b < blocks; ++b) {
            const std::size_t offset = static_cast<std::size_t>(b) * perBlock * channels;
            EncodeMsAdpcmBlock(&pcm[offset], channels, blockAlign, &data[b * blockAlign]);
            DecodeMsAdpcmBlock(&data[b * blockAlign], channels, blockAlign, &ours[offset]);
        }
        std::uint8_t extra[kMsAdpcmExtraByteCount];
        MsAdpcmExtraBytes(perBlock, extra);
        WavFormatFields format{2,
                               static_cast<std::uint16_t>(channels),
                               11025,
                               static_cast<std::uint32_t>(11025 * blockAlign / perBlock),
                               static_cast<std::uint16_t>(blockAlign),
                               4,
                               extra};
        const std::string path = writeWav(m_dir, "ms.wav", format, data);
        EXPECT_EQ(DecodeWithSox(path), ours) << channels;
        expectCloseDecoding(DecodeWithFfmpeg(path), ours);
        EXPECT_GT(SignalToNoiseDb(pcm, ours), 20.0) << channels;
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

TEST_F(CodecTest, GsmWav49FilesDecodeInSoxAsInLibgsmAndKeepTheTone) {
    const int blocks = 25;
    const auto pcm = SineFrames(GsmCodec::kSamplesPerBlock * blocks, 1, 8000, 440, 10000);
    GsmCodec encoder;
    GsmCodec decoder;
    ASSERT_TRUE(encoder.valid() && decoder.valid());
    std::vector<std::uint8_t> data(GsmCodec::kBytesPerBlock * blocks);
    std::vector<std::int16_t> ours(pcm.size());
    for (int b = 0; b < blocks; ++b) {
        encoder.EncodeBlock(&pcm[b * GsmCodec::kSamplesPerBlock],
                            &data[b * GsmCodec::kBytesPerBlock]);
        ASSERT_TRUE(decoder.DecodeBlock(&data[b * GsmCodec::kBytesPerBlock],
                                        &ours[b * GsmCodec::kSamplesPerBlock]));
    }
    std::vector<std::uint8_t> file(kGsmWavHeaderBytes);
    EncodeGsmWavHeader(8000, data.size(), file.data());
    file.insert(file.end(), data.begin(), data.end());
    const std::string path = m_dir + "/gsm.wav";
    test::WriteFileBytes(path, file);
    EXPECT_EQ(DecodeWithSox(path), ours);
    EXPECT_EQ(DecodeWithFfmpeg(path).size(), ours.size());
    // GSM is a speech codec: a pure tone comes back clearly but not sample-exact. Skip the
    // first block, where the codec's state settles.
    const std::vector<std::int16_t> settledIn(pcm.begin() + 320, pcm.end());
    const std::vector<std::int16_t> settledOut(ours.begin() + 320, ours.end());
    EXPECT_GT(SignalToNoiseDb(settledIn, settledOut), 15.0);
}

}  // namespace
}  // namespace sonaro
