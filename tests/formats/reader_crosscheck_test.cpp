// Our readers against sox and ffmpeg decoding the same files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/aiff_writer.h"
#include "formats/au_reader.h"
#include "formats/audio_file_opener.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/raw_reader.h"
#include "support/audio_files.h"
#include "support/source_reading.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

std::vector<InternalSample> signal(int frames, int channels, int rate) {
    const auto pcm = test::SineFrames(frames, channels, rate, 523.0, 14000.0);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(-2000, 2000);
    std::vector<InternalSample> samples(pcm.size());
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        samples[i] = ToInternalSample(pcm[i]) + noise(random) * 16 + (noise(random) & 15);
    }
    return samples;
}

void writeAll(AudioSink& sink, const std::vector<InternalSample>& samples) {
    const int frames = static_cast<int>(samples.size()) / sink.channels();
    for (int done = 0; done < frames; done += 1500) {
        sink.Write(&samples[static_cast<std::size_t>(done) * sink.channels()],
                   std::min(1500, frames - done));
    }
}

std::vector<std::int16_t> ours16(const std::string& path) {
    SourceRef source = OpenRecordingFile(path);
    EXPECT_FALSE(source->isUnusable()) << path;
    const auto samples = test::ReadWhole(*source);
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    return pcm;
}

class ReaderCrossCheckTest : public ::testing::Test {
  protected:
    ReaderCrossCheckTest() : m_dir(test::MakeTempDir("crosscheck")) {}
    ~ReaderCrossCheckTest() override { test::RemoveTree(m_dir); }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
    CodecManager m_codecs;
};

TEST_F(ReaderCrossCheckTest, SixteenBitAndEightBitFilesMatchFfmpegAndSoxSampleForSample) {
    const auto samples = signal(9000, 2, 22050);
    {
        PcmWavWriter wav16(path("a16.wav"), 22050, 2, PcmSampleType::Signed16);
        PcmWavWriter wav8(path("a8.wav"), 22050, 2, PcmSampleType::Unsigned8);
        AiffWriter aiff16(path("a16.aiff"), 22050, 2, 16);
        AiffWriter aiff8(path("a8.aif"), 22050, 2, 8);
        for (AudioSink* sink : std::initializer_list<AudioSink*>{&wav16, &wav8, &aiff16, &aiff8}) {
            writeAll(*sink, samples);
        }
    }
    for (const char* name : {"a16.wav", "a8.wav", "a16.aiff", "a8.aif"}) {
        SCOPED_TRACE(name);
        const auto ours = ours16(path(name));
        EXPECT_EQ(ours.size(), samples.size());
        EXPECT_EQ(ours, test::DecodeWithFfmpeg(path(name)));
        EXPECT_EQ(ours, test::DecodeWithSox(path(name)));
    }
}

TEST_F(ReaderCrossCheckTest, WideAndFloatSamplesMatchSoxAtThirtyTwoBits) {
    const auto samples = signal(5000, 1, 48000);
    {
        PcmWavWriter wav24(path("a24.wav"), 48000, 1, PcmSampleType::Signed24);
        PcmWavWriter wav32(path("a32.wav"), 48000, 1, PcmSampleType::Signed32);
        writeAll(wav24, samples);
        writeAll(wav32, samples);
    }
    for (const char* name : {"a24.wav", "a32.wav"}) {
        SCOPED_TRACE(name);
        SourceRef source = OpenRecordingFile(path(name));
        const auto ours = test::ReadWhole(*source);
        const auto sox = test::DecodeWithSox32(path(name));
        ASSERT_EQ(ours.size(), sox.size());
        for (std::size_t i = 0; i < ours.size(); ++i) {
            ASSERT_EQ(ours[i], sox[i] >> 12) << "sample " << i;
        }
    }
}

TEST_F(ReaderCrossCheckTest, CompressedWavFilesDecodeAsFfmpegDecodesThem) {
    const auto samples = signal(8000, 1, 8000);
    {
        GsmWavWriter gsm(path("gsm.wav"), 8000);
        writeAll(gsm, samples);
    }
    std::vector<std::string> names = {"gsm.wav"};
    for (const auto& [driver, tag] : {std::pair{1, 6}, {1, 7}, {2, 0x11}, {3, 2}}) {
        for (const int channels : {1, 2}) {
            const auto formats = m_codecs.Formats(driver, static_cast<std::uint16_t>(tag));
            const auto chosen = std::find_if(formats.begin(), formats.end(), [&](const auto& f) {
                return f.format.samplesPerSec == 8000 && f.format.channels == channels;
            });
            ASSERT_NE(chosen, formats.end());
            const std::string name =
                "tag" + std::to_string(tag) + "_" + std::to_string(channels) + ".wav";
            CompressedWavWriter writer(path(name), chosen->format, m_codecs);
            writeAll(writer, channels == 1 ? samples : signal(8000, 2, 8000));
            names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto ours = ours16(path(name));
        const auto ffmpeg = test::DecodeWithFfmpeg(path(name));
        const auto sox = test::DecodeWithSox(path(name));
        ASSERT_FALSE(ffmpeg.empty());
        // The decoders may stop before the padding of the last block.
        ASSERT_GE(ours.size(), ffmpeg.size());
        EXPECT_GE(ffmpeg.size(), ours.size() - 2048);
        EXPECT_TRUE(std::equal(sox.begin(), sox.end(), ours.begin()));
        const bool adpcm = name.starts_with("tag17") || name.starts_with("tag2_");
        if (adpcm) {
            // ffmpeg's ADPCM decoders round their predictions their own way.
            const std::vector<std::int16_t> head(ours.begin(), ours.begin() + ffmpeg.size());
            EXPECT_GT(test::SignalToNoiseDb(ffmpeg, head), 40.0);
        } else {
            EXPECT_TRUE(std::equal(ffmpeg.begin(), ffmpeg.end(), ours.begin()));
        }
    }
}

TEST_F(ReaderCrossCheckTest, AuAndVoxFilesMatchSox) {
    const auto samples = signal(6000, 1, 8000);
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    {
        PcmWavWriter wav(path("in.wav"), 8000, 1, PcmSampleType::Signed16);
        writeAll(wav, samples);
    }
    bool ok = false;
    for (const char* encoding : {"u-law", "a-law", "signed-integer"}) {
        SCOPED_TRACE(encoding);
        const std::string bits = std::strcmp(encoding, "signed-integer") == 0 ? "16" : "8";
        test::RunForOutput({"sox", path("in.wav"), "-e", encoding, "-b", bits, path("out.au")}, ok);
        ASSERT_TRUE(ok);
        SourceRef source = OpenAuFile(path("out.au"));
        ASSERT_FALSE(source->isUnusable());
        const auto ours = test::ReadWhole(*source);
        std::vector<std::int16_t> ours16(ours.size());
        std::transform(ours.begin(), ours.end(), ours16.begin(), ToPcm16);
        EXPECT_EQ(ours16, test::DecodeWithSox(path("out.au")));
    }
    test::RunForOutput({"sox", path("in.wav"), "-t", "vox", "-r", "8000", path("out.vox")}, ok);
    ASSERT_TRUE(ok);
    SourceRef vox = OpenRawFile(path("out.vox"), {8000, 1, 0});
    const auto ours = test::ReadWhole(*vox);
    const auto sox =
        test::RunForOutput({"sox", "-V1", "-t", "vox", "-r", "8000", path("out.vox"), "-t", "raw",
                            "-e", "signed-integer", "-b", "16", "-L", "-"},
                           ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sox.size(), 2 * ours.size());
    std::vector<std::int16_t> soxPcm(ours.size());
    std::vector<std::int16_t> ours16(ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        soxPcm[i] = static_cast<std::int16_t>(GetLe16(sox.data() + 2 * i));
        ours16[i] = ToPcm16(ours[i]);
    }
    EXPECT_EQ(ours16, soxPcm);
    EXPECT_GT(test::SignalToNoiseDb(pcm, ours16), 10.0);
}

TEST_F(ReaderCrossCheckTest, Mp3FilesAgreeWithFfmpegInLengthAndSignal) {
    const auto samples = signal(30000, 2, 44100);
    {
        SinkRef writer = CreateMp3Writer("lame", path("a.mp3"), Mp3Settings(), 44100, 2);
        writeAll(*writer, samples);
    }
    const auto ours = ours16(path("a.mp3"));
    const auto ffmpeg = test::DecodeWithFfmpeg(path("a.mp3"));
    EXPECT_EQ(ours.size(), samples.size());
    EXPECT_EQ(ffmpeg.size(), ours.size()) << "both honour the encoder's delay and padding";
    EXPECT_GT(test::SignalToNoiseDb(ffmpeg, ours), 60.0) << "two decoders, the same sound";
}

}  // namespace
}  // namespace sonaro
