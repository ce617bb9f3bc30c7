// The readers against the program's own writers (one table over writer and format), hand-made
// layouts, damaged and mutated files, and sox and ffmpeg decoding the same files; the opener's
// dispatch, the outside decoder and the message for a file that cannot be opened.
#include <fcntl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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
#include "formats/flac_reader.h"
#include "formats/flac_writer.h"
#include "formats/g711.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_reader.h"
#include "formats/mp3_writer.h"
#include "formats/open_error_message.h"
#include "formats/pcm_wav_writer.h"
#include "formats/raw_reader.h"
#include "formats/temporary_wav_decoder.h"
#include "formats/wav_header.h"
#include "formats/wav_reader.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/settings_home.h"
#include "support/source_reading.h"
#include "support/temp_home.h"
#include "threads/event.h"

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
    enum Independent { Sox16AndFfmpeg, Sox32, SoxFloat } independent;
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
    {"f32.wav", wav<PcmSampleType::Float32>, whole, 4, 1048744, Written::SoxFloat},
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
    } else {
        const auto sox = test::DecodeWithSox32(file);
        ASSERT_EQ(read.size(), sox.size());
        // Floats come back from sox within a step of the rounding to 32 bits.
        const int tolerance = written().independent == Written::SoxFloat ? 1 : 0;
        for (std::size_t i = 0; i < read.size(); ++i) {
            ASSERT_NEAR(sox[i], std::int64_t{read[i]} << 12, tolerance) << "sample " << i;
        }
    }
    if (LowerExtension(file) == ".flac") {
        // The final STREAMINFO carries the count and the MD5 signature that flac checks.
        bool ok = false;
        test::RunForOutput({"flac", "-t", "-s", file}, ok);
        EXPECT_TRUE(ok);
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

TEST_F(ReaderTest, AnUnknownWavDataSizeReadsToTheEndWhateverTheRiffSize) {
    WriteAll(*wav<PcmSampleType::Signed16>(path("done.wav"), 16000, 2), test::RandomSamples(6000));
    auto unknown = ReadFileBytes(path("done.wav"));
    PutLe32(unknown.data() + 42, 0xFFFFFFFF);
    EXPECT_EQ(openBytes("unknown.wav", unknown)->GetLength(), 3000);
}

// ---- WAV: compressed formats ----

TEST_F(ReaderTest, GsmFilesGrowBlockByBlockAndReadBackAsSoxAndFfmpegDecodeThem) {
    const auto samples = test::InternalOf(test::SineFrames(8100, 1, 8000, 440.0, 12000.0));
    auto writer = std::make_unique<GsmWavWriter>(path("gsm.wav"), 8000);
    ASSERT_FALSE(writer->isUnusable());
    writer->Write(samples.data(), 1000);
    SourceRef growing = openWav(path("gsm.wav"));
    EXPECT_TRUE(growing->IsGrowing());
    EXPECT_EQ(growing->GetLength(), 960) << "three whole blocks so far";
    const auto early = ReadFrames(*growing, 960);
    WriteAll(*writer, {samples.begin() + 1000, samples.end()}, 777);
    EXPECT_EQ(growing->GetLength(), 8000);
    const auto late = ReadFrames(*growing, 8000 - 960);
    writer.reset();
    EXPECT_FALSE(growing->IsGrowing());
    EXPECT_EQ(growing->GetLength(), 8320) << "the last block, padded, is there now";

    SourceRef source = openWav(path("gsm.wav"));
    const auto read = ReadWhole(*source, 1000);
    EXPECT_TRUE(std::equal(early.begin(), early.end(), read.begin()));
    EXPECT_TRUE(std::equal(late.begin(), late.end(), read.begin() + 960));
    // Reading in other block sizes decodes each block once, in order: the same samples.
    EXPECT_EQ(ReadWhole(*source, 8192), read);
    const auto ours = Pcm16Of(read);
    EXPECT_EQ(ours, test::DecodeWithSox(path("gsm.wav")));
    EXPECT_EQ(ours, test::DecodeWithFfmpeg(path("gsm.wav")));
    // A speech codec keeps a tone clearly once its state has settled after the first block.
    EXPECT_GT(test::SignalToNoiseDb(Pcm16Of({samples.begin() + 320, samples.end()}),
                                    {ours.begin() + 320, ours.end()}),
              15.0);
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
        // More than one source buffer of the writer, ending in a partial block.
        constexpr int kFrames = kMaxBlockFrames + 1000;
        const auto samples = signal(kFrames, channels, 22050);
        {
            CompressedWavWriter writer(path("c.wav"), chosen->format, m_codecs);
            ASSERT_FALSE(writer.isUnusable());
            WriteAll(writer, samples, 1500);
            writer.SeekTo(0);  // not trimmable
            EXPECT_EQ(GetLe32(ReadFileBytes(path("c.wav")).data() + 4), 0xFFFFFFFFu) << "open";
        }
        // The completed header counts the whole blocks after it.
        const auto bytes = ReadFileBytes(path("c.wav"));
        const std::size_t extra = chosen->format.extra.size();
        const std::size_t headerBytes = WavHeaderBytes(kWavFormatFieldsBytes + extra);
        EXPECT_EQ(GetLe32(bytes.data() + 4), bytes.size() - 8);
        EXPECT_EQ(GetLe16(bytes.data() + 36), extra);
        EXPECT_EQ(GetLe32(bytes.data() + headerBytes - 4), bytes.size() - headerBytes);
        EXPECT_EQ((bytes.size() - headerBytes) % chosen->format.blockAlign, 0u);
        SourceRef source = openWav(path("c.wav"));
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(source->channels(), channels);
        EXPECT_EQ(source->rate(), 22050);
        EXPECT_GE(source->GetLength(), kFrames);
        EXPECT_LT(source->GetLength(), kFrames + 2048) << "at most one padded block more";
        const auto read = ReadWhole(*source);
        const auto ours = Pcm16Of(read);
        const std::vector<std::int16_t> head(ours.begin(), ours.begin() + samples.size());
        const bool g711 = tag.formatTag == 6 || tag.formatTag == 7;
        EXPECT_GT(test::SignalToNoiseDb(Pcm16Of(samples), head), g711 ? 35.0 : 20.0);
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
        ASSERT_GE(sox.size(), samples.size()) << "sox decodes every frame written";
        EXPECT_TRUE(std::equal(sox.begin(), sox.end(), ours.begin()));
        if (g711) {
            EXPECT_TRUE(std::equal(ffmpeg.begin(), ffmpeg.end(), ours.begin()));
        } else {
            // ffmpeg's ADPCM decoders round their predictions their own way.
            EXPECT_GT(test::SignalToNoiseDb(ffmpeg, ours), 40.0);
        }
        expectPrefixesOpenCleanly("c.wav", OpenRecordingFile);
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, CompressedReadTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(1, 2)));

// ---- WAV: hand-made layouts and damaged files ----

// A RIFF file (little-endian) or, given "FORM" and a type, an IFF one (big-endian) from chunks
// given as identifier and body; the outer size counts them.
class RiffBuilder {
  public:
    explicit RiffBuilder(const char* form = "RIFF", const char* type = "WAVE")
        : m_form(form), m_type(type), m_bigEndian(std::strcmp(form, "FORM") == 0) {}
    RiffBuilder& chunk(const char* id, const Bytes& body,
                       std::optional<std::uint32_t> sizeField = std::nullopt) {
        const std::size_t at = m_body.size();
        m_body.resize(at + 8);
        std::memcpy(m_body.data() + at, id, 4);
        put32(m_body.data() + at + 4, sizeField.value_or(static_cast<std::uint32_t>(body.size())));
        m_body.insert(m_body.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            m_body.push_back(0);
        }
        return *this;
    }
    Bytes bytes() const {
        Bytes out(12);
        std::memcpy(out.data(), m_form, 4);
        put32(out.data() + 4, static_cast<std::uint32_t>(m_body.size() + 4));
        std::memcpy(out.data() + 8, m_type, 4);
        out.insert(out.end(), m_body.begin(), m_body.end());
        return out;
    }

  private:
    void put32(std::uint8_t* at, std::uint32_t value) const {
        m_bigEndian ? PutBe32(at, value) : PutLe32(at, value);
    }

    const char* m_form;
    const char* m_type;
    bool m_bigEndian;
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

// ---- AIFF, AU, raw and MP3 ----

TEST_F(ReaderTest, AiffRatesEncodeAsExtendedNumbersAndDecodeWithinTheirExponentRange) {
    const std::pair<std::uint32_t, Bytes> edges[] = {
        {1, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {0xFFFFFFFFu, {0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
        {0, Bytes(10, 0)},
    };
    Bytes bytes(10);
    for (const auto& [rate, expected] : edges) {
        EncodeAiffSampleRate(rate, bytes.data());
        EXPECT_EQ(bytes, expected) << rate;
    }
    for (const std::uint32_t rate : {8000u, 11025u, 44100u, 96000u, 196000u, 2u, 2147483647u}) {
        EncodeAiffSampleRate(rate, bytes.data());
        EXPECT_EQ(DecodeAiffSampleRate(bytes.data()), std::optional<int>(static_cast<int>(rate)));
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
    Bytes sound(8, 0);
    sound.insert(sound.end(), data.begin(), data.end());
    Bytes common(23);
    PutBe16(common.data(), 1);
    PutBe32(common.data() + 2, static_cast<std::uint32_t>(data.size() * 8 / bits));
    PutBe16(common.data() + 6, static_cast<std::uint32_t>(bits));
    EncodeAiffSampleRate(22050, common.data() + 8);
    std::memcpy(common.data() + 18, compression, 4);
    return RiffBuilder("FORM", "AIFC").chunk("SSND", sound).chunk("COMM", common).bytes();
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
    WriteAll(*wav<PcmSampleType::Signed16>(path("UPPER.WAV"), 8000, 2), samples);
    WriteAll(*aiff<16>(path("Mixed.AiF"), 8000, 2), samples);
    WriteAll(*flac<16>(path("Take.FLAC"), 8000, 2), samples);
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

    // A raw file asks for its format, starting from the stored one, before it is read.
    WriteFileBytes(path("a.snd"), Bytes(400, 0x10));
    AudioOpenOptions options;
    options.settings = &m_settings;
    std::vector<std::pair<int, bool>> asked;
    options.chooseRawFormat = [&](RawFormat& format, bool isVox) {
        asked.emplace_back(format.sampleRate, isVox);
        format = {22050, 2, static_cast<int>(RawCodec::Unsigned8)};
        return true;
    };
    const OpenedAudio opened = OpenAudioFile(path("a.snd"), options);
    EXPECT_EQ(asked, (std::vector<std::pair<int, bool>>{{16000, false}}));
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

TEST_F(ReaderTest, AuGsmAndVoxFilesOfSoxReadAsSoxDecodesThem) {
    const auto pcm = test::SineFrames(8000, 1, 8000, 300.0, 9000.0);
    WriteAll(*wav<PcmSampleType::Signed16>(path("in.wav"), 8000, 1), test::InternalOf(pcm));
    bool ok = false;
    const std::vector<std::vector<std::string>> conversions = {
        {"-e", "u-law", "-b", "8", "out.au"},
        {"-e", "a-law", "-b", "8", "out.au"},
        {"-e", "signed-integer", "-b", "16", "out.au"},
        {"out.gsm"},
    };
    for (std::vector<std::string> args : conversions) {
        const std::string out = path(args.back());
        SCOPED_TRACE(args.front());
        args.back() = out;
        args.insert(args.begin(), {"sox", path("in.wav")});
        test::RunForOutput(args, ok);
        ASSERT_TRUE(ok);
        SourceRef source = openAudio(out);
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(source->rate(), 8000);
        const auto ours = Pcm16Of(ReadWhole(*source));
        EXPECT_EQ(ours, test::DecodeWithSox(out));
        EXPECT_GT(test::SignalToNoiseDb(pcm, ours), 10.0);
    }
    // sox reads raw Dialogic ADPCM only when told its rate.
    test::RunForOutput({"sox", path("in.wav"), "-t", "vox", "-r", "8000", path("out.vox")}, ok);
    ASSERT_TRUE(ok);
    test::RunForOutput({"sox", "-t", "vox", "-r", "8000", path("out.vox"), path("vox.wav")}, ok);
    ASSERT_TRUE(ok);
    const auto ours = Pcm16Of(ReadWhole(*OpenRawFile(path("out.vox"), {8000, 1, 0})));
    EXPECT_EQ(ours, test::DecodeWithSox(path("vox.wav")));
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

// ---- The outside decoder ----

// Files not read directly go through the outside decoder into a temporary WAV file; the message
// a file that cannot be opened gets.
class AudioFileOpenerTest : public ReaderTest {
  protected:
    AudioFileOpenerTest() {
        m_options.decoderPath = "ffmpeg";
        m_options.temporaryFolder = m_temp;
        m_options.decodingStarted = [this](std::string_view title) {
            m_titles.emplace_back(title);
        };
        WriteAll(*wav<PcmSampleType::Signed16>(path("in.wav"), 16000, 2), m_samples);
    }
    // ALAC in MP4, a lossless format read only through the decoder.
    void makeAlac(const std::string& out) {
        bool ok = false;
        test::RunForOutput(
            {"ffmpeg", "-v", "error", "-i", path("in.wav"), "-c:a", "alac", path(out)}, ok);
        ASSERT_TRUE(ok) << "ffmpeg made " << out;
    }

    const test::TempDir m_tempDir{"openertemp"};
    const std::string& m_temp = m_tempDir;
    AudioOpenOptions m_options;
    std::vector<std::string> m_titles;
    const std::vector<InternalSample> m_samples =
        test::InternalOf(test::SineFrames(5000, 2, 16000, 440.0, 8000.0));
};

TEST_F(AudioFileOpenerTest, LosslessFilesOfOtherFormatsReadBackExactlyThroughTemporaryWavs) {
    makeAlac("a.m4a");
    const OpenedAudio alac = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_EQ(alac.result, OpenResult::Produced);
    ASSERT_FALSE(alac.source->isUnusable()) << alac.decoderError;
    EXPECT_EQ(alac.temporaryPath, m_temp + "/Temp1.wav");
    EXPECT_EQ(test::ReadWhole(*alac.source), m_samples);
    EXPECT_EQ(m_titles, std::vector<std::string>{"Loading file"});

    // A name whose file can be deleted is taken again, even while a reader still has the old
    // file open (it keeps reading the deleted file).
    std::filesystem::copy_file(path("a.m4a"), path("B.XYZ"));
    const OpenedAudio other = OpenAudioFile(path("B.XYZ"), m_options);
    ASSERT_FALSE(other.source->isUnusable());
    EXPECT_EQ(other.temporaryPath, m_temp + "/Temp1.wav") << "the old file is deleted";
    EXPECT_EQ(m_titles.back(), "Loading with DirectX");
    EXPECT_EQ(alac.source->GetLength(), 5000) << "an open reader keeps its file";
}

TEST_F(AudioFileOpenerTest, AWavWithACodecOfItsOwnIsDecodedOutside) {
    bool ok = false;
    test::RunForOutput({"sox", path("in.wav"), "-e", "gsm-full-rate", "-r", "8000", "-c", "1", "-t",
                        "au", path("odd.wav")},
                       ok);
    ASSERT_TRUE(ok);
    const OpenedAudio opened = OpenAudioFile(path("odd.wav"), m_options);
    // Not a WAV file at all: the direct reader refuses it, the decoder reads it.
    EXPECT_FALSE(opened.temporaryPath.empty());
    ASSERT_FALSE(opened.source->isUnusable()) << opened.decoderError;
    EXPECT_EQ(opened.source->rate(), 8000);
}

TEST_F(AudioFileOpenerTest, DecoderFailuresKeepTheDirectStatusAndSayWhy) {
    test::WriteFileBytes(path("junk.ogg"), std::vector<std::uint8_t>(3000, 0x42));
    const OpenedAudio junk = OpenAudioFile(path("junk.ogg"), m_options);
    EXPECT_EQ(junk.source->status(), SourceStatus::NotSupported);
    EXPECT_TRUE(junk.decoderFailed);
    EXPECT_FALSE(junk.decoderError.empty());

    m_options.decoderPath = "/nonexistent/decoder";
    const OpenedAudio missing = OpenAudioFile(path("junk.ogg"), m_options);
    EXPECT_TRUE(missing.decoderFailed);

    m_options.decoderPath.clear();
    const OpenedAudio none = OpenAudioFile(path("junk.ogg"), m_options);
    EXPECT_FALSE(none.decoderFailed);
    EXPECT_TRUE(none.temporaryPath.empty());
    EXPECT_EQ(none.source->status(), SourceStatus::NotSupported);

    m_options.decoderPath = "ffmpeg";
    EXPECT_TRUE(OpenAudioFile(path("junk.dct"), m_options).temporaryPath.empty())
        << "no outside program reads DCT files";
}

// Formats nothing here reads: the outside decoder (where one is tried) fails and the box says the
// format is not supported, or for MIDI files, that they cannot be decoded.
TEST_F(AudioFileOpenerTest, UnreadFormatsEndInTheNotSupportedBox) {
    test::ScriptedPrompter prompter;
    const CodecManager codecs;
    for (const char* name :
         {"a.mid", "a.dss", "a.dvs", "a.sri", "a.dct", "a.dart", "a.cda", "A.MID", "a.DSS"}) {
        SCOPED_TRACE(name);
        test::WriteFileBytes(path(name), std::vector<std::uint8_t>(3000, 0x42));
        const OpenedAudio opened = OpenAudioFile(path(name), m_options);
        ASSERT_EQ(opened.result, OpenResult::Produced);
        EXPECT_EQ(opened.source->status(), SourceStatus::NotSupported);
        OpenErrorFacts facts = OpenErrorFactsFor(path(name), opened, m_temp);
        facts.supportedFormatsPage = "https://example.org/formats";
        facts.mediaFrameworkPage = "https://example.org/media";
        ShowOpenError(prompter, facts, codecs);
        ASSERT_FALSE(prompter.shown().empty());
        const std::string expected =
            LowerExtension(name) == ".mid"
                ? "Unable to decode MIDI file - it is possible you may be using an old version of "
                  "DirectX. Go to Start -> Run -> type \"dxdiag\" to check your version - "
                  "version 9.0 or later is required.\n\nhttps://example.org/media"
                : "Cannot open the file \"" + path(name) +
                      "\". It is possible the file format is not supported by this "
                      "program.\n\nhttps://example.org/formats";
        EXPECT_EQ(prompter.shown().back().text, expected);
        EXPECT_EQ(prompter.shown().back().title, "Cannot Open File");
        EXPECT_EQ(prompter.shown().back().icon, PromptIcon::Error);
    }
    EXPECT_EQ(prompter.shown().size(), 9u);

    // A WAV of a codec nobody here has: the tag read from the file picks the message.
    auto bytes = test::ReadFileBytes(path("in.wav"));
    bytes[20] = 0x55;
    test::WriteFileBytes(path("mpeg.wav"), bytes);
    m_options.decoderPath.clear();
    const OpenedAudio mpeg = OpenAudioFile(path("mpeg.wav"), m_options);
    const OpenErrorFacts facts = OpenErrorFactsFor(path("mpeg.wav"), mpeg, m_temp);
    EXPECT_EQ(facts.status, SourceStatus::CodecMissing);
    EXPECT_EQ(facts.wavFormatTag, 0x55);
    test::WriteFileBytes(path("short.wav"), {'R', 'I', 'F', 'F'});
    EXPECT_EQ(ReadWavFormatTag(path("short.wav")), std::nullopt);
    EXPECT_EQ(ReadWavFormatTag(path("none.wav")), std::nullopt);
}

// A FIFO with no writer must not hold the open up waiting for one, nor reach the decoder.
TEST_F(AudioFileOpenerTest, FifosDevicesFoldersAndMissingFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("pipe.ogg").c_str(), 0600), 0);
    EXPECT_EQ(openWav(path("fifo.wav"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(openWav("/dev/zero")->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(openWav(m_dir)->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(OpenAuFile(path("missing.au"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(OpenMp3File(m_dir)->status(), SourceStatus::CannotOpen);
    for (const char* name : {"pipe.ogg", "gone.ogg", "gone.wav"}) {
        EXPECT_EQ(OpenAudioFile(path(name), m_options).source->status(), SourceStatus::CannotOpen)
            << name;
    }
    EXPECT_TRUE(m_titles.empty());
}

// A decoding stopped by the stop event, decoders that start their output file, then fail or never
// end, and the progress box that shows a decoding and can cancel it.
TEST_F(AudioFileOpenerTest, AFailedOrCancelledDecodingLeavesNoTemporaryFile) {
    makeAlac("a.m4a");
    Event stop(true);
    m_options.stop = &stop;
    const OpenedAudio stopped = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_EQ(stopped.result, OpenResult::Cancelled);
    EXPECT_TRUE(stopped.source->isUnusable());
    EXPECT_TRUE(std::filesystem::is_empty(m_temp));
    m_options.stop = nullptr;

    const std::string decoder = path("decoder");
    const auto writeDecoder = [&](const std::string& end) {
        std::ofstream(decoder) << "#!/bin/sh\nfor last; do :; done\nprintf RIFF > \"$last\"\n"
                               << end << "\n";
        ::chmod(decoder.c_str(), 0700);
    };
    m_options.decoderPath = decoder;
    writeDecoder("exit 1");
    const OpenedAudio failed = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_TRUE(failed.decoderFailed);
    EXPECT_TRUE(failed.temporaryPath.empty());
    EXPECT_TRUE(std::filesystem::is_empty(m_temp));

    writeDecoder("exit 0");
    const OpenedAudio unreadable = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_TRUE(unreadable.decoderFailed) << "a WAV file of four bytes";
    EXPECT_TRUE(std::filesystem::is_empty(m_temp));

    writeDecoder("exec sleep 600");
    test::ManualDispatcher dispatcher;
    test::ScriptedPrompter prompter(&dispatcher);
    m_options.prompter = &prompter;
    m_options.dispatcher = &dispatcher;
    const std::string started = m_temp + "/Temp1.wav";
    prompter.cancelWhen = [&] { return std::filesystem::exists(started); };
    const OpenedAudio cancelled = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_EQ(cancelled.result, OpenResult::Cancelled);
    EXPECT_TRUE(cancelled.temporaryPath.empty());
    EXPECT_TRUE(std::filesystem::is_empty(m_temp));
    EXPECT_EQ(prompter.progressTitles(), std::vector<std::string>{"Loading file"});

    prompter.cancelWhen = nullptr;
    m_options.decoderPath = "ffmpeg";
    const OpenedAudio shown = OpenAudioFile(path("a.m4a"), m_options);
    ASSERT_FALSE(shown.source->isUnusable()) << shown.decoderError;
    EXPECT_EQ(prompter.progressTitles(),
              (std::vector<std::string>{"Loading file", "Loading file"}));
}

TEST_F(AudioFileOpenerTest, TemporaryNamesSkipFilesThatCannotBeDeleted) {
    ASSERT_EQ(::mkdir((m_temp + "/Temp1.wav").c_str(), 0700), 0);
    test::WriteFileBytes(m_temp + "/Temp1.wav/keep", {1});
    test::WriteFileBytes(m_temp + "/Temp2.wav", {1});
    EXPECT_EQ(ChooseTemporaryWavPath(m_temp), m_temp + "/Temp2.wav");
    EXPECT_FALSE(std::filesystem::exists(m_temp + "/Temp2.wav"));
}

std::string message(const std::string& path, SourceStatus status,
                    std::optional<std::uint16_t> tag = std::nullopt, bool decoderFailed = false) {
    OpenErrorFacts facts;
    facts.path = path;
    facts.status = status;
    facts.wavFormatTag = tag;
    facts.decoderFailed = decoderFailed;
    facts.temporaryFolder = "/tmp/sonaro-1000";
    facts.supportedFormatsPage = "https://example.org/formats";
    return OpenErrorMessage(facts, CodecManager());
}

TEST(OpenErrorMessageTest, PicksTheMessageByStatusThenExtension) {
    EXPECT_EQ(message("/r/a.mp3", SourceStatus::CannotOpen),
              "Cannot open the file \"/r/a.mp3\". Check it exists and you have read access.");
    EXPECT_EQ(message("/r/a.wav", SourceStatus::CodecMissing, 0x55),
              "Cannot open the file \"/r/a.wav\" because it is using an unknown codec or is "
              "possibly not a real wave file.");
    EXPECT_EQ(message("/r/a.WAV", SourceStatus::CodecMissing, 2),
              "Cannot open the file \"/r/a.WAV\" because the codec it needs (Microsoft ADPCM) is "
              "not installed.");
    EXPECT_EQ(message("/r/a.mp3", SourceStatus::Corrupt),
              "Cannot open the file \"/r/a.mp3\". It is possibly either corrupt or not a true "
              "layer-3 MPEG file.");
    EXPECT_EQ(message("/r/a.flac", SourceStatus::NotSupported, std::nullopt, true),
              "The decoder process failed when decompressing the file \"/r/a.flac\" to wave "
              "format. It is possible your logon account does not have write access to the folder "
              "\"/tmp/sonaro-1000\"");
    EXPECT_EQ(message("/r/a.aiff", SourceStatus::Corrupt),
              "Cannot open the file \"/r/a.aiff\" because it is corrupt.");
    EXPECT_THAT(message("/r/a.wma", SourceStatus::NotSupported),
                testing::HasSubstr("Digital Rights Management"));
    EXPECT_THAT(message("/r/a.dvf", SourceStatus::NotSupported), testing::HasSubstr("plugin"));
}

// ---- Mutated files ----

// A bounded-time mutation loop per parser, seeded from real files. Deterministic mutations
// (fixed seed); the time bound only decides how many run. Run under the sanitizers, any read
// outside a buffer, overflow or leak fails the test. SONARO_FUZZ_SECONDS sets the time per
// parser (default 3).
using Opener = std::function<SourceRef(const std::string&)>;

double secondsPerParser() {
    const char* text = std::getenv("SONARO_FUZZ_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 3.0;
    return seconds > 0 ? seconds : 3.0;
}

class Mutator {
  public:
    explicit Mutator(unsigned seed) : m_random(seed) {}

    Bytes mutate(const Bytes& seed) {
        Bytes bytes = seed;
        const int count = 1 + static_cast<int>(below(4));
        for (int i = 0; i < count; ++i) {
            mutateOnce(bytes);
        }
        return bytes;
    }

  private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : m_random() % n; }

    // Headers hold the fields worth breaking: half the mutations land in the first 128 bytes.
    std::size_t offset(const Bytes& bytes, std::size_t width) {
        if (bytes.size() < width) {
            return 0;
        }
        const std::size_t room = bytes.size() - width + 1;
        return below(2) == 0 ? below(std::min<std::size_t>(room, 128)) : below(room);
    }

    void mutateOnce(Bytes& bytes) {
        static constexpr std::uint32_t kInteresting32[] = {
            0, 1, 2, 8, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFD9};
        static constexpr std::uint16_t kInteresting16[] = {0,      1,      2,      0x7FFF,
                                                           0x8000, 0xFFFF, 0xFFFE, 65};
        switch (below(7)) {
            case 0:
                if (!bytes.empty()) {
                    bytes[below(bytes.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                }
                break;
            case 1:
                if (!bytes.empty()) {
                    bytes[offset(bytes, 1)] = static_cast<std::uint8_t>(m_random());
                }
                break;
            case 2:
                if (bytes.size() >= 4) {
                    const std::uint32_t value = kInteresting32[below(std::size(kInteresting32))];
                    const std::size_t at = offset(bytes, 4);
                    below(2) == 0 ? PutLe32(&bytes[at], value) : PutBe32(&bytes[at], value);
                }
                break;
            case 3:
                if (bytes.size() >= 2) {
                    const std::uint16_t value = kInteresting16[below(std::size(kInteresting16))];
                    const std::size_t at = offset(bytes, 2);
                    below(2) == 0 ? PutLe16(&bytes[at], value) : PutBe16(&bytes[at], value);
                }
                break;
            case 4:
                bytes.resize(below(bytes.size() + 1));
                break;
            case 5: {
                const std::size_t at = offset(bytes, 0);
                Bytes inserted(1 + below(16));
                for (auto& b : inserted) {
                    b = static_cast<std::uint8_t>(m_random());
                }
                bytes.insert(bytes.begin() + static_cast<long>(std::min(at, bytes.size())),
                             inserted.begin(), inserted.end());
                break;
            }
            default:
                if (bytes.size() > 8) {
                    // Copies a run over another place: chunk headers land where data was.
                    const std::size_t length =
                        1 + below(std::min<std::size_t>(bytes.size() / 2, 64));
                    const std::size_t from = below(bytes.size() - length);
                    const std::size_t to = below(bytes.size() - length);
                    std::memmove(&bytes[to], &bytes[from], length);
                }
                break;
        }
    }

    std::mt19937 m_random;
};

// Opens mutated copies of the seeds until the time is up; reads what opens, from the start and
// after a seek. Returns the number of inputs tried.
int fuzz(const std::vector<Bytes>& seeds, const std::string& path, const Opener& open,
         unsigned seed) {
    Mutator mutator(seed);
    std::mt19937 random(seed + 1);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsPerParser());
    int tried = 0;
    for (; std::chrono::steady_clock::now() < until; ++tried) {
        const Bytes input = mutator.mutate(seeds[static_cast<std::size_t>(tried) % seeds.size()]);
        test::WritePrefix(input, input.size(), path);
        SourceRef source = open(path);
        if (source->isUnusable()) {
            continue;
        }
        // Lengths are bounded by the file, so reading everything stays quick.
        EXPECT_LE(source->GetLength(), static_cast<std::int64_t>(input.size()) * 2048);
        test::ReadFrames(*source, std::min<std::int64_t>(source->GetLength() + 10, 200000), 1777);
        const std::int64_t length = std::max<std::int64_t>(source->GetLength(), 1);
        source->Seek(static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(length)));
        test::ReadFrames(*source, 500, 333);
    }
    return tried;
}

class ReaderFuzzTest : public ReaderTest {
  protected:
    // The bytes of `file` after 700 frames of a tone went to `sink`; `close`: after the sink
    // completed it, else as a recording in progress leaves it.
    static Bytes seed(SinkRef sink, const std::string& file, bool close = true) {
        const auto pcm = test::SineFrames(700, sink->channels(), 8000, 700.0, 9000.0);
        sink->Write(test::InternalOf(pcm).data(), 700);
        if (close) {
            sink.reset();
        }
        return test::ReadFileBytes(file);
    }

    void report(const char* parser, int tried) {
        RecordProperty(parser, tried);
        std::printf("%s: %d mutated inputs\n", parser, tried);
        EXPECT_GT(tried, 0);
    }
};

TEST_F(ReaderFuzzTest, WavParser) {
    std::vector<Bytes> seeds = {
        seed(wav<PcmSampleType::Signed16>(path("p16.wav"), 8000, 2), path("p16.wav")),
        seed(wav<PcmSampleType::Float32>(path("f32.wav"), 8000, 1), path("f32.wav")),
        seed(MakeSink<GsmWavWriter>(path("gsm.wav"), 8000), path("gsm.wav")),
        // The open-state headers of recordings in progress, which the reader follows as they grow.
        seed(wav<PcmSampleType::Signed16>(path("live.wav"), 8000, 1), path("live.wav"), false),
        seed(MakeSink<GsmWavWriter>(path("live_gsm.wav"), 8000), path("live_gsm.wav"), false)};
    for (const auto& [driver, tag] : {std::pair{1, 7}, {2, 0x11}, {3, 2}}) {
        const auto format = m_codecs.Formats(driver, static_cast<std::uint16_t>(tag))[1].format;
        const std::string file = path("c" + std::to_string(tag) + ".wav");
        seeds.push_back(seed(MakeSink<CompressedWavWriter>(file, format, m_codecs), file));
    }
    report("wav", fuzz(
                      seeds, path("m.wav"),
                      [&](const std::string& p) { return OpenWavFile(p, m_codecs); }, 1));
}

TEST_F(ReaderFuzzTest, AiffParser) {
    const std::vector<Bytes> seeds = {
        seed(aiff<8>(path("a8.aiff"), 8000, 2), path("a8.aiff")),
        seed(aiff<16>(path("a16.aiff"), 8000, 2), path("a16.aiff")),
        seed(aiff<16>(path("live.aiff"), 8000, 2), path("live.aiff"), false)};
    report("aiff", fuzz(seeds, path("m.aiff"), OpenAiffFile, 2));
}

TEST_F(ReaderFuzzTest, AuAndRawParsers) {
    report("au", fuzz({auFile(24, 600, 3, 2, Bytes(600, 0x55))}, path("m.au"), OpenAuFile, 3));
    Bytes gsm(33 * 20, 0xD5);
    report("gsm", fuzz({gsm}, path("m.gsm"), OpenGsmFile, 4));
}

TEST_F(ReaderFuzzTest, FlacParser) {
    const std::vector<Bytes> seeds = {
        seed(MakeSink<FlacWriter>(path("f16.flac"), 8000, 2, 16, 5), path("f16.flac")),
        seed(MakeSink<FlacWriter>(path("f24.flac"), 8000, 1, 24, 0), path("f24.flac")),
        seed(MakeSink<FlacWriter>(path("live.flac"), 8000, 1, 16, 0), path("live.flac"), false)};
    report("flac", fuzz(seeds, path("m.flac"), OpenFlacFile, 6));
}

TEST_F(ReaderFuzzTest, Mp3Parser) {
    const Bytes mp3 =
        seed(CreateMp3Writer("lame", path("a.mp3"), Mp3Settings(), 8000, 2), path("a.mp3"));
    ASSERT_GT(mp3.size(), 100u) << "lame made the seed";
    report("mp3", fuzz({mp3}, path("m.mp3"), OpenMp3File, 5));
}

}  // namespace
}  // namespace sonaro
