// The readers against the program's own writers (one table over writer and format), hand-made
// layouts, damaged files, and sox and ffmpeg decoding the same files; the opener's dispatch.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/aiff_header.h"
#include "formats/aiff_reader.h"
#include "formats/aiff_writer.h"
#include "formats/au_reader.h"
#include "formats/audio_file_opener.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/flac_writer.h"
#include "formats/g711.h"
#include "formats/gsm_codec.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_reader.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/raw_reader.h"
#include "formats/wav_header.h"
#include "formats/wav_reader.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/settings_home.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Pcm16Of;
using test::ReadFileBytes;
using test::ReadFrames;
using test::ReadWhole;
using test::WriteAll;
using test::WriteFileBytes;

// A sine with noise over it, so that every decoder path (large and small steps) is taken.
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

class ReaderTest : public test::SettingsTest {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    SourceRef openWav(const std::string& file) const { return OpenWavFile(file, m_codecs); }
    // Writes `bytes` to `name` and opens it with `open`, the WAV reader when none is given.
    SourceRef openBytes(const std::string& name, const Bytes& bytes,
                        SourceRef (*open)(const std::string&) = nullptr) const {
        WriteFileBytes(path(name), bytes);
        return open != nullptr ? open(path(name)) : openWav(path(name));
    }
    // The full opener without an outside decoder: only what is read directly.
    SourceRef openAudio(const std::string& file) const {
        AudioOpenOptions options;
        options.settings = &m_settings;
        return OpenAudioFile(file, options).source;
    }
    // Dates the file an hour back: a writer left it long ago.
    void age(const std::string& file) const {
        const timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), anHourAgo, 0), 0);
    }
    void expectPrefixesOpenCleanly(const std::string& name, SourceRef (*open)(const std::string&),
                                   std::size_t denseBytes = 256, std::size_t stride = 97) const {
        EXPECT_GT(test::OpenEveryPrefix(ReadFileBytes(path(name)), path("prefix" + name), open,
                                        denseBytes, stride),
                  0);
    }

    CodecManager m_codecs;
};

// ---- Every PCM writer and format, read back by the reader its extension picks ----

struct Written {
    const char* name;  // the file's name: its extension picks the reader
    SinkRef (*make)(const std::string& file, int rate, int channels);
    // What the writer keeps of an internal sample, as the reader gives it back.
    InternalSample (*kept)(InternalSample);
    int sampleBytes;
    int peakBound;  // 0: not checked
    enum Independent { Sox16AndFfmpeg, Sox32, None } independent;
    // Samples reach the file frame by frame, so a reader follows the file while it grows. FLAC
    // frames arrive a block at a time and are checked by their own case below.
    bool followed = true;
};

template <PcmSampleType type>
SinkRef wav(const std::string& file, int rate, int channels) {
    return MakeSink<PcmWavWriter>(file, rate, channels, type);
}
template <int bits>
SinkRef flac(const std::string& file, int rate, int channels) {
    return MakeSink<FlacWriter>(file, rate, channels, bits, 5);
}
template <int bits>
SinkRef aiff(const std::string& file, int rate, int channels) {
    return MakeSink<AiffWriter>(file, rate, channels, bits);
}
InternalSample whole(InternalSample x) {
    return x;
}
InternalSample to16(InternalSample x) {
    return ToInternalSample(ToPcm16(x));
}

const Written kWritten[] = {
    {"u8.wav", wav<PcmSampleType::Unsigned8>,
     [](InternalSample x) { return std::min((SaturateInternal(x) + 2048) >> 12, 127) * 4096; }, 1,
     524272, Written::Sox16AndFfmpeg},
    {"s16.wav", wav<PcmSampleType::Signed16>, to16, 2, 524272, Written::Sox16AndFfmpeg},
    {"s24.wav", wav<PcmSampleType::Signed24>, whole, 3, 524272, Written::Sox32},
    {"s32.wav", wav<PcmSampleType::Signed32>, whole, 4, 524272, Written::Sox32},
    {"f32.wav", wav<PcmSampleType::Float32>, whole, 4, 1048744, Written::None},
    {"s8.aif", aiff<8>,
     [](InternalSample x) { return std::min((SaturateInternal(x) + 8) >> 12, 127) * 4096; }, 1, 0,
     Written::Sox16AndFfmpeg},
    {"s16.aiff", aiff<16>, to16, 2, 0, Written::Sox16AndFfmpeg},
    {"s16.flac", flac<16>, to16, 2, 524272, Written::Sox16AndFfmpeg, false},
    {"s24.flac", flac<24>, whole, 3, 524272, Written::Sox32, false},
};

class WrittenFileTest : public ReaderTest,
                        public ::testing::WithParamInterface<std::tuple<Written, int>> {
  protected:
    const Written& written() const { return std::get<0>(GetParam()); }
    int channels() const { return std::get<1>(GetParam()); }
    std::vector<InternalSample> kept(const std::vector<InternalSample>& samples) const {
        std::vector<InternalSample> out(samples.size());
        std::transform(samples.begin(), samples.end(), out.begin(), written().kept);
        return out;
    }
};

TEST_P(WrittenFileTest, ReadsBackExactlyTheFramesWrittenAsSoxAndFfmpegReadThem) {
    constexpr int kFrames = 3001;
    const std::string file = path(written().name);
    const auto samples = test::RandomSamples(static_cast<std::size_t>(kFrames) * channels());
    WriteAll(*written().make(file, 22050, channels()), samples);
    SourceRef source = OpenRecordingFile(file);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->rate(), 22050);
    EXPECT_EQ(source->channels(), channels());
    EXPECT_EQ(source->GetLength(), kFrames);
    if (written().peakBound != 0) {
        EXPECT_EQ(source->peakBound(), written().peakBound);
    }
    const auto expected = kept(samples);
    const auto read = ReadWhole(*source, 777);
    EXPECT_EQ(read, expected);

    // Past the end reads silence; a seek lands anywhere, before the start on the start.
    source->Seek(kFrames - 10);
    const auto tail = ReadFrames(*source, 20);
    EXPECT_TRUE(
        std::equal(tail.begin(), tail.begin() + 10 * channels(), expected.end() - 10 * channels()));
    EXPECT_TRUE(std::all_of(tail.begin() + 10 * channels(), tail.end(),
                            [](InternalSample s) { return s == 0; }));
    EXPECT_EQ(source->GetPosition(), kFrames + 10);
    source->Seek(-5);
    EXPECT_EQ(source->GetPosition(), 0);
    source->Seek(1234);
    const auto middle = ReadFrames(*source, 1000, 333);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), expected.begin() + 1234 * channels()));

    if (written().independent == Written::Sox16AndFfmpeg) {
        EXPECT_EQ(Pcm16Of(read), test::DecodeWithFfmpeg(file));
        EXPECT_EQ(Pcm16Of(read), test::DecodeWithSox(file));
    } else if (written().independent == Written::Sox32) {
        const auto sox = test::DecodeWithSox32(file);
        ASSERT_EQ(read.size(), sox.size());
        for (std::size_t i = 0; i < read.size(); ++i) {
            ASSERT_EQ(read[i], sox[i] >> 12) << "sample " << i;
        }
    }
    expectPrefixesOpenCleanly(written().name, OpenRecordingFile);
}

TEST_P(WrittenFileTest, AGrowingFileIsFollowedAndOneCutByACrashReadsToItsEnd) {
    if (!written().followed) {
        GTEST_SKIP() << "written a block at a time";
    }
    const std::string file = path(written().name);
    const auto samples = test::RandomSamples(static_cast<std::size_t>(1500) * channels());
    const auto expected = kept(samples);
    SinkRef writer = written().make(file, 8000, channels());
    writer->Write(samples.data(), 1000);
    const Bytes openState = ReadFileBytes(file);
    SourceRef source = OpenRecordingFile(file);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_TRUE(source->IsGrowing());
    EXPECT_EQ(source->GetLength(), 1000);
    EXPECT_EQ(ReadFrames(*source, 1000),
              std::vector<InternalSample>(expected.begin(), expected.begin() + 1000 * channels()));
    writer->Write(samples.data() + 1000 * channels(), 500);
    EXPECT_EQ(source->GetLength(), 1500);
    EXPECT_EQ(ReadFrames(*source, 500),
              std::vector<InternalSample>(expected.begin() + 1000 * channels(), expected.end()));
    writer.reset();
    EXPECT_FALSE(source->IsGrowing()) << "the writer completed the header";
    EXPECT_EQ(source->GetLength(), 1500);

    // As a crash leaves it: the open-state header, no longer written to.
    WriteFileBytes(path("crashed") + written().name, openState);
    age(path("crashed") + written().name);
    SourceRef crashed = OpenRecordingFile(path("crashed") + written().name);
    EXPECT_FALSE(crashed->IsGrowing());
    EXPECT_EQ(crashed->GetLength(), 1000);
    EXPECT_EQ(ReadWhole(*crashed),
              std::vector<InternalSample>(expected.begin(), expected.begin() + 1000 * channels()));

    // A completed header promising more than the file holds: whole frames only.
    auto cut = ReadFileBytes(file);
    cut.resize(cut.size() - static_cast<std::size_t>(100 * written().sampleBytes * channels()) - 1);
    SourceRef shortened = openBytes(std::string("cut") + written().name, cut, OpenRecordingFile);
    EXPECT_EQ(shortened->GetLength(), 1399);
    EXPECT_EQ(ReadWhole(*shortened),
              std::vector<InternalSample>(expected.begin(), expected.begin() + 1399 * channels()));
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenFileTest,
                         ::testing::Combine(::testing::ValuesIn(kWritten), ::testing::Values(1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<Written, int>>& param) {
                             std::string name = std::get<0>(param.param).name;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name + "_" + std::to_string(std::get<1>(param.param));
                         });

TEST_F(ReaderTest, AFlacFileWithoutASampleCountReadsItsWholeFramesAsTheyWereWhenOpened) {
    const auto samples = test::RandomSamples(2 * 20000);
    auto writer = std::make_unique<FlacWriter>(path("live.flac"), 8000, 2, 16, 5);
    WriteAll(*writer, samples);
    const Bytes openState = ReadFileBytes(path("live.flac"));
    writer.reset();
    const auto complete = ReadWhole(*OpenRecordingFile(path("live.flac")));
    // Level 5 encodes blocks of 4096 frames: four whole ones are on disk.
    constexpr int kOnDisk = 4 * 4096;
    SourceRef crashed = openBytes("crashed.flac", openState, OpenRecordingFile);
    ASSERT_FALSE(crashed->isUnusable());
    EXPECT_FALSE(crashed->IsGrowing());
    EXPECT_EQ(crashed->GetLength(), kOnDisk);
    EXPECT_EQ(ReadWhole(*crashed, 1000),
              std::vector<InternalSample>(complete.begin(), complete.begin() + 2 * kOnDisk));
    crashed->Seek(9000);
    const auto middle = ReadFrames(*crashed, 1000);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), complete.begin() + 2 * 9000));

    // A frame cut short is neither counted nor played.
    const Bytes cut(openState.begin(), openState.end() - 100);
    SourceRef shortened = openBytes("cut.flac", cut, OpenRecordingFile);
    EXPECT_EQ(shortened->GetLength(), kOnDisk - 4096);
    EXPECT_EQ(
        ReadWhole(*shortened),
        std::vector<InternalSample>(complete.begin(), complete.begin() + 2 * (kOnDisk - 4096)));
}

TEST_F(ReaderTest, OpenStateHeadersMarkTheSizeUnknownAndAnyUnknownWavSizeReadsToTheEnd) {
    const auto samples = test::RandomSamples(2 * 3000);
    Bytes wavState;
    Bytes aiffState;
    {
        PcmWavWriter wav(path("live.wav"), 16000, 2, PcmSampleType::Signed16);
        AiffWriter aiff(path("live.aif"), 16000, 2, 16);
        WriteAll(wav, samples);
        WriteAll(aiff, samples);
        wavState = ReadFileBytes(path("live.wav"));
        aiffState = ReadFileBytes(path("live.aif"));
    }
    EXPECT_EQ(GetLe32(wavState.data() + 42), 0xFFFFFFD9u) << "the WAV writer's open-state size";
    EXPECT_EQ(GetBe32(aiffState.data() + 22), 0u) << "the open AIFF header counts no frames";
    // The unknown size itself, with a RIFF size that looks complete.
    auto unknown = ReadFileBytes(path("live.wav"));
    PutLe32(unknown.data() + 42, 0xFFFFFFFF);
    EXPECT_EQ(openBytes("unknown.wav", unknown)->GetLength(), 3000);
}

// ---- WAV: compressed formats ----

TEST_F(ReaderTest, GsmFilesReadBackAsTheCodecSoxAndFfmpegDecodeThem) {
    const auto samples = test::InternalOf(test::SineFrames(8000, 1, 8000, 440.0, 12000.0));
    {
        GsmWavWriter writer(path("gsm.wav"), 8000);
        ASSERT_FALSE(writer.isUnusable());
        WriteAll(writer, samples, 777);
    }
    // Whole blocks: the writer pads the last one with silence.
    const int frames = (8000 + 319) / 320 * 320;
    const auto bytes = ReadFileBytes(path("gsm.wav"));
    ASSERT_EQ(bytes.size(), kGsmWavHeaderBytes + static_cast<std::size_t>(frames / 320 * 65));
    GsmCodec codec;
    std::vector<InternalSample> expected(static_cast<std::size_t>(frames));
    for (int b = 0; b < frames / 320; ++b) {
        std::int16_t pcm[320];
        codec.DecodeBlock(bytes.data() + kGsmWavHeaderBytes + b * 65, pcm);
        ConvertPcm16ToInternal(pcm, expected.data() + b * 320, 320);
    }
    SourceRef source = openWav(path("gsm.wav"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), frames);
    EXPECT_EQ(ReadWhole(*source, 1000), expected);
    // Reading in other block sizes decodes each block once, in order: the same samples.
    EXPECT_EQ(ReadWhole(*source, 8192), expected);
    const auto ours = Pcm16Of(expected);
    const auto ffmpeg = test::DecodeWithFfmpeg(path("gsm.wav"));
    const auto sox = test::DecodeWithSox(path("gsm.wav"));
    ASSERT_FALSE(ffmpeg.empty());
    EXPECT_TRUE(std::equal(ffmpeg.begin(), ffmpeg.end(), ours.begin()));
    EXPECT_TRUE(std::equal(sox.begin(), sox.end(), ours.begin()));
    expectPrefixesOpenCleanly("gsm.wav", OpenRecordingFile);
}

class CompressedReadTest : public ReaderTest,
                           public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CompressedReadTest, CodecManagerFilesReadBackAsSoxAndFfmpegDecodeThem) {
    const auto [driver, channels] = GetParam();
    const auto tags = m_codecs.FormatTags(driver);
    ASSERT_FALSE(tags.empty());
    for (const auto& tag : tags) {
        const auto formats = m_codecs.Formats(driver, tag.formatTag);
        const auto chosen = std::find_if(formats.begin(), formats.end(), [&](const auto& f) {
            return f.format.samplesPerSec == 22050 && f.format.channels == channels;
        });
        ASSERT_NE(chosen, formats.end());
        SCOPED_TRACE(chosen->description + " tag " + std::to_string(tag.formatTag));
        const auto samples = signal(8000, channels, 22050);
        {
            CompressedWavWriter writer(path("c.wav"), chosen->format, m_codecs);
            ASSERT_FALSE(writer.isUnusable());
            WriteAll(writer, samples, 1500);
        }
        SourceRef source = openWav(path("c.wav"));
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(source->channels(), channels);
        EXPECT_EQ(source->rate(), 22050);
        EXPECT_GE(source->GetLength(), 8000);
        EXPECT_LT(source->GetLength(), 8000 + 2048) << "at most one padded block more";
        const auto read = ReadWhole(*source);
        const auto ours = Pcm16Of(read);
        const std::vector<std::int16_t> head(ours.begin(), ours.begin() + samples.size());
        EXPECT_GT(test::SignalToNoiseDb(Pcm16Of(samples), head), 20.0);
        // A seek lands on the same samples as reading through.
        source->Seek(5000);
        const auto later = ReadFrames(*source, 2000);
        EXPECT_TRUE(std::equal(later.begin(), later.end(), read.begin() + 5000 * channels));

        const auto ffmpeg = test::DecodeWithFfmpeg(path("c.wav"));
        const auto sox = test::DecodeWithSox(path("c.wav"));
        ASSERT_FALSE(ffmpeg.empty());
        // The decoders may stop before the padding of the last block.
        ASSERT_GE(ours.size(), ffmpeg.size());
        EXPECT_GE(ffmpeg.size(), ours.size() - 2048);
        EXPECT_TRUE(std::equal(sox.begin(), sox.end(), ours.begin()));
        if (tag.formatTag == 0x11 || tag.formatTag == 2) {
            // ffmpeg's ADPCM decoders round their predictions their own way.
            const std::vector<std::int16_t> start(ours.begin(), ours.begin() + ffmpeg.size());
            EXPECT_GT(test::SignalToNoiseDb(ffmpeg, start), 40.0);
        } else {
            EXPECT_TRUE(std::equal(ffmpeg.begin(), ffmpeg.end(), ours.begin()));
        }
        expectPrefixesOpenCleanly("c.wav", OpenRecordingFile);
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, CompressedReadTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(1, 2)));

TEST_F(ReaderTest, ACompressedRecordingGrowsBlockByBlock) {
    auto gsm = std::make_unique<GsmWavWriter>(path("growing_gsm.wav"), 8000);
    const auto tone = test::InternalOf(test::SineFrames(3000, 1, 8000, 440.0, 12000.0));
    gsm->Write(tone.data(), 1000);
    SourceRef decoding = openWav(path("growing_gsm.wav"));
    EXPECT_TRUE(decoding->IsGrowing());
    EXPECT_EQ(decoding->GetLength(), 960) << "three whole blocks so far";
    const auto early = ReadFrames(*decoding, 960);
    gsm->Write(tone.data() + 1000, 2000);
    EXPECT_EQ(decoding->GetLength(), 2880);
    const auto late = ReadFrames(*decoding, 1920);
    gsm.reset();
    EXPECT_FALSE(decoding->IsGrowing());
    EXPECT_EQ(decoding->GetLength(), 3200) << "the last block, padded, is there now";
    const auto whole = ReadWhole(*openWav(path("growing_gsm.wav")));
    EXPECT_TRUE(std::equal(early.begin(), early.end(), whole.begin()));
    EXPECT_TRUE(std::equal(late.begin(), late.end(), whole.begin() + 960));
}

// ---- WAV: hand-made layouts and damaged files ----

// A RIFF file from chunks given as identifier and body; the RIFF size counts them.
class RiffBuilder {
  public:
    RiffBuilder& chunk(const char* id, const Bytes& body,
                       std::optional<std::uint32_t> sizeField = std::nullopt) {
        const std::size_t at = m_body.size();
        m_body.resize(at + 8);
        std::memcpy(m_body.data() + at, id, 4);
        PutLe32(m_body.data() + at + 4,
                sizeField.value_or(static_cast<std::uint32_t>(body.size())));
        m_body.insert(m_body.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            m_body.push_back(0);
        }
        return *this;
    }
    Bytes bytes() const {
        Bytes out(12);
        std::memcpy(out.data(), "RIFF", 4);
        PutLe32(out.data() + 4, static_cast<std::uint32_t>(m_body.size() + 4));
        std::memcpy(out.data() + 8, "WAVE", 4);
        out.insert(out.end(), m_body.begin(), m_body.end());
        return out;
    }

  private:
    Bytes m_body;
};

Bytes formatBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                 std::uint16_t blockAlign, std::uint16_t bits) {
    Bytes body(16);
    PutLe16(body.data(), tag);
    PutLe16(body.data() + 2, channels);
    PutLe32(body.data() + 4, rate);
    PutLe32(body.data() + 8, rate * blockAlign);
    PutLe16(body.data() + 12, blockAlign);
    PutLe16(body.data() + 14, bits);
    return body;
}

Bytes pcm16Body(const std::vector<std::int16_t>& pcm) {
    Bytes body(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        PutLe16(body.data() + 2 * i, static_cast<std::uint16_t>(pcm[i]));
    }
    return body;
}

// A WAV file of one format chunk and one data chunk.
Bytes simpleWav(const Bytes& format, const Bytes& data) {
    return RiffBuilder().chunk("fmt ", format).chunk("data", data).bytes();
}

TEST_F(ReaderTest, WavSkipsListAndOddSizedChunksAndBlocksBeforeTheRiffHeader) {
    const auto wav = RiffBuilder()
                         .chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 1, 0, 0, 0, 'x'})
                         .chunk("fmt ", formatBody(1, 1, 8000, 2, 16))
                         .chunk("junk", {1, 2, 3})
                         .chunk("data", pcm16Body({100, -200, 300, -400, 500}))
                         .bytes();
    SourceRef source = openBytes("made.wav", wav);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(ReadWhole(*source), (std::vector<InternalSample>{1600, -3200, 4800, -6400, 8000}));

    // A block of another kind in front of the RIFF header is skipped by its size.
    Bytes prefixed = {'A', 'B', 'C', 'D', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    prefixed.insert(prefixed.end(), wav.begin(), wav.end());
    EXPECT_EQ(openBytes("made.wav", prefixed)->GetLength(), 5);
}

TEST_F(ReaderTest, WavReadsExtensibleAndWideContainersAndAFactChunkCutsCompressedFrames) {
    // 24 valid bits in 4-byte containers, WAVE_FORMAT_EXTENSIBLE with the PCM sub-format.
    auto format = formatBody(0xFFFE, 1, 48000, 4, 32);
    const std::uint8_t extension[24] = {22, 0, 24, 0, 4,    0, 0, 0,    1, 0,    0,    0,
                                        0,  0, 16, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    format.insert(format.end(), extension, extension + 24);
    Bytes data(8);
    PutLe32(data.data(), static_cast<std::uint32_t>(0x123456 << 8));
    PutLe32(data.data() + 4, static_cast<std::uint32_t>(-0x10 * 256));
    SourceRef source = openBytes("made.wav", simpleWav(format, data));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(ReadWhole(*source), (std::vector<InternalSample>{0x123456 >> 4, -1}));

    Bytes fact(4);
    PutLe32(fact.data(), 3);
    const auto g711 = RiffBuilder()
                          .chunk("fmt ", formatBody(7, 1, 8000, 1, 8))
                          .chunk("fact", fact)
                          .chunk("data", {0xFF, 0x7F, 0x00, 0x80, 0xFF})
                          .bytes();
    source = openBytes("made.wav", g711);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), 3);
}

TEST_F(ReaderTest, WavRefusesDamagedFilesWithTheirStatus) {
    const auto data = pcm16Body({1, 2, 3, 4});
    struct Case {
        const char* what;
        Bytes bytes;
        SourceStatus status;
    };
    auto shortFormat = formatBody(1, 1, 8000, 2, 16);
    shortFormat.resize(14);
    const Case cases[] = {
        {"no RIFF header",
         {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
         SourceStatus::NotSupported},
        {"empty file", {}, SourceStatus::NotSupported},
        {"fmt shorter than its fields", simpleWav(shortFormat, data), SourceStatus::Corrupt},
        {"extensible without its extension", simpleWav(formatBody(0xFFFE, 1, 8000, 2, 16), data),
         SourceStatus::Corrupt},
        {"zero channels", simpleWav(formatBody(1, 0, 8000, 2, 16), data), SourceStatus::Corrupt},
        {"zero block align", simpleWav(formatBody(1, 1, 8000, 0, 16), data), SourceStatus::Corrupt},
        {"zero rate", simpleWav(formatBody(1, 1, 0, 2, 16), data), SourceStatus::Corrupt},
        {"block align below the samples", simpleWav(formatBody(1, 2, 8000, 2, 16), data),
         SourceStatus::Corrupt},
        {"no data chunk", RiffBuilder().chunk("fmt ", formatBody(1, 1, 8000, 2, 16)).bytes(),
         SourceStatus::Corrupt},
        {"chunk size past the end before fmt",
         RiffBuilder()
             .chunk("LIST", {1, 2}, 0xFFFFFFF0)
             .chunk("fmt ", formatBody(1, 1, 8000, 2, 16))
             .bytes(),
         SourceStatus::Corrupt},
        {"fmt size past the end",
         RiffBuilder().chunk("fmt ", formatBody(1, 1, 8000, 2, 16), 0xFFFFFFFE).bytes(),
         SourceStatus::Corrupt},
        {"64-bit float", simpleWav(formatBody(3, 1, 8000, 8, 64), data),
         SourceStatus::NotSupported},
        {"64-bit PCM", simpleWav(formatBody(1, 1, 8000, 8, 64), data), SourceStatus::NotSupported},
        {"unknown codec", simpleWav(formatBody(0x55, 1, 8000, 1, 0), data),
         SourceStatus::CodecMissing},
        {"G.711 with a wrong block align", simpleWav(formatBody(7, 1, 8000, 3, 8), data),
         SourceStatus::CodecMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourceRef source = openBytes("made.wav", c.bytes);
        EXPECT_EQ(source->status(), c.status);
        std::vector<InternalSample> block(64, 5);
        source->Read(block.data(), 64 / source->channels());
        EXPECT_EQ(block, std::vector<InternalSample>(64, 0));
    }
}

TEST_F(ReaderTest, FifosDevicesFoldersAndMissingFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(openWav(path("fifo.wav"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(openWav("/dev/zero")->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(openWav(m_dir)->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(openWav(path("missing.wav"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(OpenAuFile(path("missing.au"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(OpenMp3File(m_dir)->status(), SourceStatus::CannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
        << "opening a FIFO with no writer must not wait for one";
}

// ---- AIFF, AU, raw and MP3 ----

TEST_F(ReaderTest, AiffRatesDecodeWithinTheirExponentRange) {
    std::uint8_t bytes[10];
    for (const std::uint32_t rate : {8000u, 11025u, 44100u, 96000u, 196000u, 2u, 2147483647u}) {
        EncodeAiffSampleRate(rate, bytes);
        EXPECT_EQ(DecodeAiffSampleRate(bytes), std::optional<int>(static_cast<int>(rate)));
    }
    const std::uint8_t fraction[10] = {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeAiffSampleRate(fraction), 44101) << "44100.5 rounds up";
    const std::uint8_t rounded[10] = {0x40, 0x0E, 0xAC, 0x44, 0x7F, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(DecodeAiffSampleRate(rounded), 44100);
    const std::uint8_t tooLarge[10] = {0x40, 0x1F, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t fractional[10] = {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t negative[10] = {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const std::uint8_t zero[10] = {};
    const std::uint8_t hugeShift[10] = {0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    for (const auto* bad : {tooLarge, fractional, negative, zero, hugeShift}) {
        EXPECT_EQ(DecodeAiffSampleRate(bad), std::nullopt);
    }
    std::uint8_t header[kAiffHeaderBytes];
    EncodeAiffHeader(1, 16, 8000, 0, header);
    std::memcpy(header + 28, tooLarge, 10);
    EXPECT_EQ(openBytes("rate.aif", {header, header + sizeof header}, OpenAiffFile)->status(),
              SourceStatus::Corrupt);
}

// An AIFC file with the given compression and data, COMM after SSND.
Bytes aifc(const char* compression, int bits, const Bytes& data) {
    Bytes out(12);
    std::memcpy(out.data(), "FORM", 4);
    std::memcpy(out.data() + 8, "AIFC", 4);
    const auto chunk = [&](const char* id, const Bytes& body) {
        const std::size_t at = out.size();
        out.resize(at + 8);
        std::memcpy(out.data() + at, id, 4);
        PutBe32(out.data() + at + 4, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            out.push_back(0);
        }
    };
    Bytes sound(8, 0);
    sound.insert(sound.end(), data.begin(), data.end());
    chunk("SSND", sound);
    Bytes common(23);
    PutBe16(common.data(), 1);
    PutBe32(common.data() + 2, static_cast<std::uint32_t>(data.size() * 8 / bits));
    PutBe16(common.data() + 6, static_cast<std::uint32_t>(bits));
    EncodeAiffSampleRate(22050, common.data() + 8);
    std::memcpy(common.data() + 18, compression, 4);
    chunk("COMM", common);
    PutBe32(out.data() + 4, static_cast<std::uint32_t>(out.size() - 8));
    return out;
}

TEST_F(ReaderTest, AifcCompressionsAreReadOrRefusedAsMissingCodecs) {
    const auto read = [&](const Bytes& bytes) {
        return ReadWhole(*openBytes("a.aifc", bytes, OpenAiffFile));
    };
    EXPECT_EQ(read(aifc("sowt", 16, {0x34, 0x12, 0xFF, 0xFF})),
              (std::vector<InternalSample>{0x1234 * 16, -16}));
    EXPECT_EQ(read(aifc("NONE", 16, {0x12, 0x34})), (std::vector<InternalSample>{0x1234 * 16}));
    EXPECT_EQ(read(aifc("fl32", 32, {0xBF, 0x00, 0, 0})), (std::vector<InternalSample>{-262144}));
    EXPECT_EQ(read(aifc("ulaw", 8, {0x00})), (std::vector<InternalSample>{DecodeMuLaw(0) * 16}));
    EXPECT_EQ(openBytes("a.aifc", aifc("ima4", 16, {1, 2}), OpenAiffFile)->status(),
              SourceStatus::CodecMissing);
    auto noCommon = aifc("NONE", 16, {1, 2});
    std::memcpy(noCommon.data() + 12 + 8 + 10, "XXXX", 4);
    EXPECT_EQ(openBytes("a.aifc", noCommon, OpenAiffFile)->status(), SourceStatus::Corrupt);
}

Bytes auFile(std::uint32_t offset, std::uint32_t size, std::uint32_t encoding,
             std::uint32_t channels, const Bytes& data) {
    Bytes out(std::max<std::size_t>(offset, 24));
    std::memcpy(out.data(), ".snd", 4);
    PutBe32(out.data() + 4, offset);
    PutBe32(out.data() + 8, size);
    PutBe32(out.data() + 12, encoding);
    PutBe32(out.data() + 16, 8000);
    PutBe32(out.data() + 20, channels);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST_F(ReaderTest, AuEncodingsReadAndDamagedHeadersAreRefused) {
    const Bytes data = {0x80, 0x01, 0x7F, 0xFF};
    const auto read = [&](const Bytes& bytes) {
        return ReadWhole(*openBytes("a.au", bytes, OpenAuFile));
    };
    EXPECT_EQ(read(auFile(24, 4, 3, 1, data)),
              (std::vector<InternalSample>{-32767 * 16, 32767 * 16}));
    EXPECT_EQ(read(auFile(32, 4, 3, 2, data)),
              (std::vector<InternalSample>{-32767 * 16, 32767 * 16}));
    EXPECT_EQ(read(auFile(24, 0xFFFFFFFF, 2, 1, data)),
              (std::vector<InternalSample>{-128 * 4096, 4096, 127 * 4096, -4096}));
    EXPECT_EQ(read(auFile(24, 1000, 1, 1, {0x12})),
              (std::vector<InternalSample>{DecodeMuLaw(0x12) * 16}));
    EXPECT_EQ(read(auFile(24, 1, 27, 1, {0x12, 0x13})),
              (std::vector<InternalSample>{DecodeALaw(0x12) * 16}));

    auto badMagic = auFile(24, 4, 3, 1, data);
    badMagic[0] = 'X';
    auto pastEnd = auFile(24, 4, 3, 1, data);
    PutBe32(pastEnd.data() + 4, 29);
    auto inHeader = auFile(24, 4, 3, 1, data);
    PutBe32(inHeader.data() + 4, 8);
    for (const Bytes& corrupt : {badMagic, pastEnd, inHeader, auFile(24, 4, 3, 0, data)}) {
        EXPECT_EQ(openBytes("a.au", corrupt, OpenAuFile)->status(), SourceStatus::Corrupt);
    }
    EXPECT_EQ(openBytes("a.au", auFile(24, 4, 23, 1, data), OpenAuFile)->status(),
              SourceStatus::CodecMissing);
    EXPECT_GT(test::OpenEveryPrefix(auFile(24, 0xFFFFFFFF, 3, 2, Bytes(400, 7)), path("p.au"),
                                    OpenAuFile),
              0);
}

TEST_F(ReaderTest, AuAndVoxFilesMatchSox) {
    const auto samples = signal(6000, 1, 8000);
    {
        PcmWavWriter wav(path("in.wav"), 8000, 1, PcmSampleType::Signed16);
        WriteAll(wav, samples);
    }
    bool ok = false;
    for (const char* encoding : {"u-law", "a-law", "signed-integer"}) {
        SCOPED_TRACE(encoding);
        const std::string bits = std::strcmp(encoding, "signed-integer") == 0 ? "16" : "8";
        test::RunForOutput({"sox", path("in.wav"), "-e", encoding, "-b", bits, path("out.au")}, ok);
        ASSERT_TRUE(ok);
        SourceRef source = OpenAuFile(path("out.au"));
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(Pcm16Of(ReadWhole(*source)), test::DecodeWithSox(path("out.au")));
    }
    test::RunForOutput({"sox", path("in.wav"), "-t", "vox", "-r", "8000", path("out.vox")}, ok);
    ASSERT_TRUE(ok);
    const auto ours = Pcm16Of(ReadWhole(*OpenRawFile(path("out.vox"), {8000, 1, 0})));
    const auto sox =
        test::RunForOutput({"sox", "-V1", "-t", "vox", "-r", "8000", path("out.vox"), "-t", "raw",
                            "-e", "signed-integer", "-b", "16", "-L", "-"},
                           ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sox.size(), 2 * ours.size());
    std::vector<std::int16_t> soxPcm(ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        soxPcm[i] = static_cast<std::int16_t>(GetLe16(sox.data() + 2 * i));
    }
    EXPECT_EQ(ours, soxPcm);
    EXPECT_GT(test::SignalToNoiseDb(Pcm16Of(samples), ours), 10.0);
}

TEST_F(ReaderTest, RawCodecsDecodeTheirSampleCodings) {
    const Bytes bytes = {0x00, 0x80, 0xFF, 0x7F};
    struct Case {
        RawCodec codec;
        std::vector<InternalSample> expected;
    };
    const Case cases[] = {
        {RawCodec::MuLaw,
         {DecodeMuLaw(0) * 16, DecodeMuLaw(0x80) * 16, DecodeMuLaw(0xFF) * 16,
          DecodeMuLaw(0x7F) * 16}},
        {RawCodec::ALaw,
         {DecodeALaw(0) * 16, DecodeALaw(0x80) * 16, DecodeALaw(0xFF) * 16, DecodeALaw(0x7F) * 16}},
        {RawCodec::Pcm16Le, {-32768 * 16, 32767 * 16}},
        {RawCodec::Unsigned8, {-128 * 4096, 0, 127 * 4096, -4096}},
        {RawCodec::Signed8, {0, -128 * 4096, -4096, 127 * 4096}},
        {RawCodec::Pcm16Be, {128 * 16, -129 * 16}},
        {RawCodec::Float32Le, {0}},  // 0x7FFF8000 is a NaN
        {RawCodec::Float32Be, {0}},
    };
    WriteFileBytes(path("a.raw"), bytes);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        SourceRef source = OpenRawFile(path("a.raw"), {8000, 1, static_cast<int>(c.codec)});
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(ReadWhole(*source), c.expected);
    }
    // Floats beyond the bound (infinities here) are held at it.
    WriteFileBytes(path("f.raw"), {0, 0, 0x80, 0x7F, 0, 0, 0x80, 0xFF, 0, 0, 0, 0x3F});
    EXPECT_EQ(ReadWhole(*OpenRawFile(path("f.raw"), {8000, 1, 7})),
              (std::vector<InternalSample>{1048744, -1048744, 262144}));
    EXPECT_EQ(OpenRawFile(path("a.raw"), {0, 1, 3})->status(), SourceStatus::Corrupt);
    EXPECT_EQ(OpenRawFile(path("a.raw"), {8000, 1, 9})->status(), SourceStatus::NotSupported);
    EXPECT_EQ(OpenRawFile(path("a.raw"), {8000, 2, 3})->GetLength(), 1);

    // Dialogic ADPCM from silence: code 7 adds 15/8 of the first step (16), then of 34; code 0xF
    // takes 15/8 of 73 away, code 0 adds 1/8 of 157.
    WriteFileBytes(path("a.vox"), {0x77, 0xF0});
    EXPECT_EQ(ReadWhole(*OpenRawFile(path("a.vox"), {8000, 1, 0})),
              (std::vector<InternalSample>{30 * 256, (30 + 63) * 256, (93 - 136) * 256,
                                           (93 - 136 + (157 >> 3)) * 256}));
}

TEST_F(ReaderTest, TheOpenerDispatchesByExtensionWhateverItsCase) {
    const auto samples = test::RandomSamples(2 * 100);
    {
        PcmWavWriter wav(path("UPPER.WAV"), 8000, 2, PcmSampleType::Signed16);
        AiffWriter aiff(path("Mixed.AiF"), 8000, 2, 16);
        FlacWriter flac(path("Take.FLAC"), 8000, 2, 16, 5);
        WriteAll(wav, samples);
        WriteAll(aiff, samples);
        WriteAll(flac, samples);
    }
    for (const char* name : {"UPPER.WAV", "Mixed.AiF", "Take.FLAC"}) {
        SCOPED_TRACE(name);
        SourceRef source = OpenRecordingFile(path(name));
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(source->GetLength(), 100);
        EXPECT_EQ(openAudio(path(name))->GetLength(), 100);
    }
    // The recording opener reads only the recording formats; the full opener the rest too.
    std::filesystem::copy_file(path("UPPER.WAV"), path("copy.Raw"));
    EXPECT_EQ(OpenRecordingFile(path("copy.Raw"))->status(), SourceStatus::NotSupported);
    SourceRef raw = openAudio(path("copy.Raw"));
    ASSERT_FALSE(raw->isUnusable());
    EXPECT_EQ(raw->rate(), 44100);
    EXPECT_EQ(raw->GetLength(), 23 + 100 * 2) << "46 header bytes as 16-bit mono, then the data";

    m_settings.Write(setting::kRawSampleRate, 16000);
    m_settings.Write(setting::kRawChannels, 0);
    m_settings.Write(setting::kRawCodec, 6);
    raw = openAudio(path("copy.Raw"));
    EXPECT_EQ(raw->rate(), 16000);
    EXPECT_EQ(raw->channels(), 1) << "0 channels counts as 1";

    WriteFileBytes(path("a.VOX"), Bytes(50, 0x11));
    SourceRef vox = openAudio(path("a.VOX"));
    EXPECT_EQ(vox->rate(), 8000);
    EXPECT_EQ(vox->GetLength(), 100);
    WriteFileBytes(path("noextension"), {1, 2, 3});
    EXPECT_EQ(openAudio(path("noextension"))->status(), SourceStatus::NotSupported);
    EXPECT_EQ(openAudio(path("missing.raw"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(LowerExtension("/a.b/c"), "");
    EXPECT_EQ(LowerExtension("/x/Y.AIFF"), ".aiff");
}

TEST_F(ReaderTest, TheRawFormatIsAskedForBeforeARawFileIsRead) {
    WriteFileBytes(path("a.snd"), Bytes(400, 0x10));
    AudioOpenOptions options;
    options.settings = &m_settings;
    std::vector<std::pair<int, bool>> asked;
    options.chooseRawFormat = [&](RawFormat& format, bool vox) {
        asked.emplace_back(format.sampleRate, vox);
        format = {22050, 2, static_cast<int>(RawCodec::Unsigned8)};
        return true;
    };
    const OpenedAudio opened = OpenAudioFile(path("a.snd"), options);
    EXPECT_EQ(asked, (std::vector<std::pair<int, bool>>{{44100, false}}));
    EXPECT_EQ(opened.source->rate(), 22050);
    EXPECT_EQ(opened.source->GetLength(), 200);

    options.chooseRawFormat = [](RawFormat&, bool) { return false; };
    EXPECT_EQ(OpenAudioFile(path("a.snd"), options).result, OpenResult::Cancelled);
    EXPECT_EQ(OpenAudioFile(path("UPPER.WAV"), options).result, OpenResult::Produced)
        << "only raw files ask";
}

TEST_F(ReaderTest, RawFormatsAreCheckedAndStoredPerKind) {
    EXPECT_FALSE(CheckRawFormat({6000, 1, 0}).has_value());
    EXPECT_FALSE(CheckRawFormat({196000, 2, 8}).has_value());
    const auto low = CheckRawFormat({5999, 1, 0});
    ASSERT_TRUE(low.has_value());
    EXPECT_EQ(low->text, "Please select a sample rate between 6000 and 196000.");
    EXPECT_TRUE(CheckRawFormat({196001, 1, 0}).has_value());

    SaveRawFormat(m_settings, true, {11025, 2, 1});
    EXPECT_EQ(LoadRawFormat(m_settings, true).sampleRate, 11025);
    EXPECT_EQ(LoadRawFormat(m_settings, true).codec, 1);
    EXPECT_EQ(LoadRawFormat(m_settings, false).sampleRate, 44100) << "raw keeps its own values";
    EXPECT_EQ(LoadRawFormat(m_settings, false).codec, 3);
}

TEST_F(ReaderTest, RawGsmFramesReadAsSoxEncodedThem) {
    const auto pcm = test::SineFrames(8000, 1, 8000, 300.0, 9000.0);
    {
        PcmWavWriter wav(path("in.wav"), 8000, 1, PcmSampleType::Signed16);
        WriteAll(wav, test::InternalOf(pcm));
    }
    bool ok = false;
    test::RunForOutput({"sox", path("in.wav"), path("out.gsm")}, ok);
    ASSERT_TRUE(ok) << "sox encodes raw GSM";
    SourceRef source = openAudio(path("out.gsm"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->rate(), 8000);
    EXPECT_EQ(source->GetLength(), 8000);
    const auto ours = Pcm16Of(ReadWhole(*source));
    EXPECT_EQ(ours, test::DecodeWithSox(path("out.gsm")));
    EXPECT_GT(test::SignalToNoiseDb(pcm, ours), 10.0);
}

TEST_F(ReaderTest, Mp3FilesOfTheEncoderReadBackAsFfmpegDecodesThem) {
    const int frames = 30000 + 1234;
    const auto samples = signal(frames, 2, 44100);
    WriteAll(*CreateMp3Writer("lame", path("a.mp3"), Mp3Settings(), 44100, 2), samples);
    SourceRef source = OpenRecordingFile(path("a.mp3"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->rate(), 44100);
    EXPECT_EQ(source->channels(), 2);
    EXPECT_EQ(source->GetLength(), frames) << "the encoder's delay and padding are removed";
    const auto whole = ReadWhole(*source, 1000);
    const auto ours = Pcm16Of(whole);
    EXPECT_GT(test::SignalToNoiseDb(Pcm16Of(samples), ours), 15.0);
    source->Seek(20000);
    const auto later = ReadFrames(*source, 500);
    EXPECT_TRUE(std::equal(later.begin(), later.end(), whole.begin() + 2 * 20000));
    const auto ffmpeg = test::DecodeWithFfmpeg(path("a.mp3"));
    EXPECT_EQ(ffmpeg.size(), ours.size()) << "both honour the encoder's delay and padding";
    EXPECT_GT(test::SignalToNoiseDb(ffmpeg, ours), 60.0) << "two decoders, the same sound";

    WriteFileBytes(path("text.mp3"), Bytes(5000, 'a'));
    EXPECT_EQ(OpenRecordingFile(path("text.mp3"))->status(), SourceStatus::Corrupt);
    WriteAll(*CreateMp3Writer("lame", path("short.mp3"), Mp3Settings(), 8000, 2),
             test::RandomSamples(2 * 2000));
    expectPrefixesOpenCleanly("short.mp3", OpenMp3File, 64, 211);
}

}  // namespace
}  // namespace sonaro
