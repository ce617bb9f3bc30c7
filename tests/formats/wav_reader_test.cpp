// The WAV reader against the program's own writers, hand-made layouts and damaged files.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/gsm_codec.h"
#include "formats/gsm_wav_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/wav_header.h"
#include "formats/wav_reader.h"
#include "support/audio_files.h"
#include "support/source_reading.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using test::ReadFileBytes;
using test::ReadWhole;
using test::WriteFileBytes;

std::vector<InternalSample> randomSamples(std::size_t count, unsigned seed = 7) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<InternalSample> value(-524288, 524287);
    std::vector<InternalSample> samples(count);
    for (auto& s : samples) {
        s = value(generator);
    }
    return samples;
}

std::vector<InternalSample> sineSamples(int frames, int channels, int rate) {
    const auto pcm = test::SineFrames(frames, channels, rate, 440.0, 12000.0);
    std::vector<InternalSample> samples(pcm.size());
    ConvertPcm16ToInternal(pcm.data(), samples.data(), static_cast<std::int64_t>(pcm.size()));
    return samples;
}

void writeAll(AudioSink& sink, const std::vector<InternalSample>& samples, int block = 1000) {
    const int frames = static_cast<int>(samples.size()) / sink.channels();
    for (int done = 0; done < frames; done += block) {
        sink.Write(&samples[static_cast<std::size_t>(done) * sink.channels()],
                   std::min(block, frames - done));
    }
}

std::vector<std::int16_t> toPcm16(const std::vector<InternalSample>& samples) {
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    return pcm;
}

// A RIFF file from chunks given as identifier and body; the RIFF size counts them.
class RiffBuilder {
  public:
    RiffBuilder& chunk(const char* id, const std::vector<std::uint8_t>& body,
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
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out(12);
        std::memcpy(out.data(), "RIFF", 4);
        PutLe32(out.data() + 4, static_cast<std::uint32_t>(m_body.size() + 4));
        std::memcpy(out.data() + 8, "WAVE", 4);
        out.insert(out.end(), m_body.begin(), m_body.end());
        return out;
    }

  private:
    std::vector<std::uint8_t> m_body;
};

std::vector<std::uint8_t> formatBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                                     std::uint16_t blockAlign, std::uint16_t bits) {
    std::vector<std::uint8_t> body(16);
    PutLe16(body.data(), tag);
    PutLe16(body.data() + 2, channels);
    PutLe32(body.data() + 4, rate);
    PutLe32(body.data() + 8, rate * blockAlign);
    PutLe16(body.data() + 12, blockAlign);
    PutLe16(body.data() + 14, bits);
    return body;
}

std::vector<std::uint8_t> pcm16Body(const std::vector<std::int16_t>& pcm) {
    std::vector<std::uint8_t> body(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        PutLe16(body.data() + 2 * i, static_cast<std::uint16_t>(pcm[i]));
    }
    return body;
}

class WavReaderTest : public ::testing::Test {
  protected:
    WavReaderTest() : m_dir(test::MakeTempDir("wavread")) {}
    ~WavReaderTest() override { test::RemoveTree(m_dir); }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    SourceRef open(const std::string& file) const { return OpenWavFile(file, m_codecs); }
    SourceRef openBytes(const std::vector<std::uint8_t>& bytes) const {
        WriteFileBytes(path("made.wav"), bytes);
        return open(path("made.wav"));
    }

    std::string m_dir;
    CodecManager m_codecs;
};

struct PcmCase {
    PcmSampleType type;
    // What the writer keeps of an internal sample, as the reader gives it back.
    InternalSample (*kept)(InternalSample);
};

TEST_F(WavReaderTest, EveryPcmWriterTypeReadsBackExactlyTheFramesWritten) {
    const PcmCase cases[] = {
        {PcmSampleType::Unsigned8,
         [](InternalSample x) { return std::min((SaturateInternal(x) + 2048) >> 12, 127) * 4096; }},
        {PcmSampleType::Signed16, [](InternalSample x) { return ToInternalSample(ToPcm16(x)); }},
        {PcmSampleType::Signed24, [](InternalSample x) { return x; }},
        {PcmSampleType::Signed32, [](InternalSample x) { return x; }},
        {PcmSampleType::Float32, [](InternalSample x) { return x; }},
    };
    for (const int channels : {1, 2}) {
        for (const PcmCase& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << static_cast<int>(c.type) << ", "
                                            << channels << " channel(s)");
            const auto samples = randomSamples(static_cast<std::size_t>(12345) * channels);
            const std::string file = path("pcm.wav");
            {
                PcmWavWriter writer(file, 22050, channels, c.type);
                writeAll(writer, samples);
            }
            SourceRef source = open(file);
            ASSERT_FALSE(source->isUnusable());
            EXPECT_EQ(source->rate(), 22050);
            EXPECT_EQ(source->channels(), channels);
            EXPECT_EQ(source->GetLength(), 12345);
            EXPECT_EQ(source->peakBound(), c.type == PcmSampleType::Float32 ? 1048744 : 524272);
            std::vector<InternalSample> expected(samples.size());
            std::transform(samples.begin(), samples.end(), expected.begin(), c.kept);
            EXPECT_EQ(ReadWhole(*source, 3000), expected);
        }
    }
}

TEST_F(WavReaderTest, ReadsPastTheEndAsSilenceAndSeeksToAnyFrame) {
    const auto samples = randomSamples(2 * 5000);
    {
        PcmWavWriter writer(path("a.wav"), 8000, 2, PcmSampleType::Signed24);
        writeAll(writer, samples);
    }
    SourceRef source = open(path("a.wav"));
    source->Seek(4990);
    const auto tail = test::ReadFrames(*source, 20);
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 20, samples.end() - 20));
    EXPECT_TRUE(
        std::all_of(tail.begin() + 20, tail.end(), [](InternalSample s) { return s == 0; }));
    EXPECT_EQ(source->GetPosition(), 5010);
    source->Seek(-5);
    EXPECT_EQ(source->GetPosition(), 0);
    source->Seek(1234);
    const auto middle = test::ReadFrames(*source, 10000, 8192);
    EXPECT_TRUE(std::equal(middle.begin(), middle.begin() + 2 * 3766, samples.begin() + 2 * 1234));
}

TEST_F(WavReaderTest, GsmFilesReadBackAsTheCodecDecodesThem) {
    const auto samples = sineSamples(8000, 1, 8000);
    {
        GsmWavWriter writer(path("gsm.wav"), 8000);
        ASSERT_FALSE(writer.isUnusable());
        writeAll(writer, samples, 777);
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
    SourceRef source = open(path("gsm.wav"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), frames);
    EXPECT_EQ(ReadWhole(*source, 1000), expected);
    // Reading in other block sizes decodes each block once, in order: the same samples.
    EXPECT_EQ(ReadWhole(*source, 8192), expected);
}

class CompressedReadTest : public WavReaderTest,
                           public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CompressedReadTest, CodecManagerFilesReadBackWithTheirFramesAndSignal) {
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
        const auto samples = sineSamples(22050, channels, 22050);
        {
            CompressedWavWriter writer(path("c.wav"), chosen->format, m_codecs);
            ASSERT_FALSE(writer.isUnusable());
            writeAll(writer, samples);
        }
        SourceRef source = open(path("c.wav"));
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(source->channels(), channels);
        EXPECT_EQ(source->rate(), 22050);
        EXPECT_GE(source->GetLength(), 22050);
        EXPECT_LT(source->GetLength(), 22050 + 2048) << "at most one padded block more";
        const auto read = ReadWhole(*source);
        const std::vector<InternalSample> head(read.begin(), read.begin() + samples.size());
        EXPECT_GT(test::SignalToNoiseDb(toPcm16(samples), toPcm16(head)), 20.0);
        // A seek lands on the same samples as reading through.
        source->Seek(10000);
        const auto later = test::ReadFrames(*source, 3000);
        EXPECT_TRUE(std::equal(later.begin(), later.end(), read.begin() + 10000 * channels));
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, CompressedReadTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(1, 2)));

TEST_F(WavReaderTest, ACrashCutRecordingGetsItsLengthFromTheFileSize) {
    const auto samples = randomSamples(2 * 3000);
    std::vector<std::uint8_t> openState;
    {
        PcmWavWriter writer(path("live.wav"), 16000, 2, PcmSampleType::Signed16);
        writeAll(writer, samples);
        openState = ReadFileBytes(path("live.wav"));  // as a crash would leave it
    }
    ASSERT_EQ(GetLe32(openState.data() + 42), 0xFFFFFFD9u) << "the writer's open-state size";
    SourceRef source = openBytes(openState);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), 3000);

    // The unknown size itself, with a RIFF size that looks complete.
    auto unknown = ReadFileBytes(path("live.wav"));
    PutLe32(unknown.data() + 42, 0xFFFFFFFF);
    EXPECT_EQ(openBytes(unknown)->GetLength(), 3000);

    // Any size beyond the file is cut to what the file holds, whole frames only.
    auto cut = ReadFileBytes(path("live.wav"));
    cut.resize(cut.size() - 4 * 1000 - 3);
    source = openBytes(cut);
    EXPECT_EQ(source->GetLength(), 1999);
    const auto read = ReadWhole(*source);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), toPcm16(samples).begin(),
                           [](InternalSample s, std::int16_t p) { return s == p * 16; }));
}

TEST_F(WavReaderTest, ARecordingInProgressGrowsUntilTheWriterCompletesIt) {
    const auto samples = randomSamples(2 * 1500);
    const std::string file = path("growing.wav");
    auto writer = std::make_unique<PcmWavWriter>(file, 8000, 2, PcmSampleType::Signed16);
    writer->Write(samples.data(), 1000);
    SourceRef source = open(file);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_TRUE(source->IsGrowing());
    EXPECT_EQ(source->GetLength(), 1000);
    const auto expected = toPcm16(samples);
    const auto first = test::ReadFrames(*source, 1000);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), expected.begin(),
                           [](InternalSample s, std::int16_t p) { return s == p * 16; }));

    writer->Write(samples.data() + 2000, 500);
    EXPECT_EQ(source->GetLength(), 1500);
    const auto more = test::ReadFrames(*source, 500);
    EXPECT_TRUE(std::equal(more.begin(), more.end(), expected.begin() + 2000,
                           [](InternalSample s, std::int16_t p) { return s == p * 16; }));
    writer.reset();
    EXPECT_FALSE(source->IsGrowing()) << "the writer completed the header";
    EXPECT_EQ(source->GetLength(), 1500);

    // A compressed recording grows block by block; what is decoded matches the finished file.
    auto gsm = std::make_unique<GsmWavWriter>(path("growing_gsm.wav"), 8000);
    const auto tone = sineSamples(3000, 1, 8000);
    gsm->Write(tone.data(), 1000);
    SourceRef decoding = open(path("growing_gsm.wav"));
    EXPECT_TRUE(decoding->IsGrowing());
    EXPECT_EQ(decoding->GetLength(), 960) << "three whole blocks so far";
    const auto early = test::ReadFrames(*decoding, 960);
    gsm->Write(tone.data() + 1000, 2000);
    EXPECT_EQ(decoding->GetLength(), 2880);
    const auto late = test::ReadFrames(*decoding, 1920);
    gsm.reset();
    EXPECT_FALSE(decoding->IsGrowing());
    EXPECT_EQ(decoding->GetLength(), 3200) << "the last block, padded, is there now";
    const auto whole = ReadWhole(*open(path("growing_gsm.wav")));
    EXPECT_TRUE(std::equal(early.begin(), early.end(), whole.begin()));
    EXPECT_TRUE(std::equal(late.begin(), late.end(), whole.begin() + 960));

    // A recording cut short by a crash keeps its open-state header but no longer changes.
    std::vector<std::uint8_t> cut;
    {
        PcmWavWriter live(path("live.wav"), 8000, 1, PcmSampleType::Signed16);
        live.Write(samples.data(), 700);
        cut = ReadFileBytes(path("live.wav"));
    }
    WriteFileBytes(path("crashed.wav"), cut);
    const timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("crashed.wav").c_str(), anHourAgo, 0), 0);
    SourceRef crashed = open(path("crashed.wav"));
    EXPECT_FALSE(crashed->IsGrowing());
    EXPECT_EQ(crashed->GetLength(), 700);
}

TEST_F(WavReaderTest, SkipsListAndOddSizedChunksAndBlocksBeforeTheRiffHeader) {
    const std::vector<std::int16_t> pcm = {100, -200, 300, -400, 500};
    const auto wav = RiffBuilder()
                         .chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 1, 0, 0, 0, 'x'})
                         .chunk("fmt ", formatBody(1, 1, 8000, 2, 16))
                         .chunk("junk", {1, 2, 3})
                         .chunk("data", pcm16Body(pcm))
                         .bytes();
    SourceRef source = openBytes(wav);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(ReadWhole(*source), (std::vector<InternalSample>{1600, -3200, 4800, -6400, 8000}));

    // A block of another kind in front of the RIFF header is skipped by its size.
    std::vector<std::uint8_t> prefixed = {'A', 'B', 'C', 'D', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    prefixed.insert(prefixed.end(), wav.begin(), wav.end());
    EXPECT_EQ(openBytes(prefixed)->GetLength(), 5);
}

TEST_F(WavReaderTest, ReadsExtensibleAndWideContainerFormats) {
    // 24 valid bits in 4-byte containers, WAVE_FORMAT_EXTENSIBLE with the PCM sub-format.
    auto format = formatBody(0xFFFE, 1, 48000, 4, 32);
    const std::uint8_t extension[24] = {22, 0, 24, 0, 4,    0, 0, 0,    1, 0,    0,    0,
                                        0,  0, 16, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    format.insert(format.end(), extension, extension + 24);
    std::vector<std::uint8_t> data(8);
    PutLe32(data.data(), static_cast<std::uint32_t>(0x123456 << 8));
    PutLe32(data.data() + 4, static_cast<std::uint32_t>(-0x10 * 256));
    SourceRef source = openBytes(RiffBuilder().chunk("fmt ", format).chunk("data", data).bytes());
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(ReadWhole(*source), (std::vector<InternalSample>{0x123456 >> 4, -1}));
}

TEST_F(WavReaderTest, AFactChunkCutsACompressedStreamToItsFrames) {
    std::vector<std::uint8_t> fact(4);
    PutLe32(fact.data(), 3);
    const auto wav = RiffBuilder()
                         .chunk("fmt ", formatBody(7, 1, 8000, 1, 8))
                         .chunk("fact", fact)
                         .chunk("data", {0xFF, 0x7F, 0x00, 0x80, 0xFF})
                         .bytes();
    SourceRef source = openBytes(wav);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), 3);
}

TEST_F(WavReaderTest, RefusesDamagedFilesWithTheirStatus) {
    const auto data = pcm16Body({1, 2, 3, 4});
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        SourceStatus status;
    };
    auto shortFormat = formatBody(1, 1, 8000, 2, 16);
    shortFormat.resize(14);
    const Case cases[] = {
        {"no RIFF header",
         {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
         SourceStatus::NotSupported},
        {"empty file", {}, SourceStatus::NotSupported},
        {"fmt shorter than its fields",
         RiffBuilder().chunk("fmt ", shortFormat).chunk("data", data).bytes(),
         SourceStatus::Corrupt},
        {"extensible without its extension",
         RiffBuilder()
             .chunk("fmt ", formatBody(0xFFFE, 1, 8000, 2, 16))
             .chunk("data", data)
             .bytes(),
         SourceStatus::Corrupt},
        {"zero channels",
         RiffBuilder().chunk("fmt ", formatBody(1, 0, 8000, 2, 16)).chunk("data", data).bytes(),
         SourceStatus::Corrupt},
        {"zero block align",
         RiffBuilder().chunk("fmt ", formatBody(1, 1, 8000, 0, 16)).chunk("data", data).bytes(),
         SourceStatus::Corrupt},
        {"zero rate",
         RiffBuilder().chunk("fmt ", formatBody(1, 1, 0, 2, 16)).chunk("data", data).bytes(),
         SourceStatus::Corrupt},
        {"block align below the samples",
         RiffBuilder().chunk("fmt ", formatBody(1, 2, 8000, 2, 16)).chunk("data", data).bytes(),
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
        {"64-bit float",
         RiffBuilder().chunk("fmt ", formatBody(3, 1, 8000, 8, 64)).chunk("data", data).bytes(),
         SourceStatus::NotSupported},
        {"64-bit PCM",
         RiffBuilder().chunk("fmt ", formatBody(1, 1, 8000, 8, 64)).chunk("data", data).bytes(),
         SourceStatus::NotSupported},
        {"unknown codec",
         RiffBuilder().chunk("fmt ", formatBody(0x55, 1, 8000, 1, 0)).chunk("data", data).bytes(),
         SourceStatus::CodecMissing},
        {"G.711 with a wrong block align",
         RiffBuilder().chunk("fmt ", formatBody(7, 1, 8000, 3, 8)).chunk("data", data).bytes(),
         SourceStatus::CodecMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourceRef source = openBytes(c.bytes);
        EXPECT_EQ(source->status(), c.status);
        std::vector<InternalSample> block(64, 5);
        source->Read(block.data(), 64 / source->channels());
        EXPECT_EQ(block, std::vector<InternalSample>(64, 0));
    }
}

TEST_F(WavReaderTest, FifosDevicesFoldersAndMissingFilesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(open(path("fifo.wav"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(open("/dev/zero")->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(open(m_dir)->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(open(path("missing.wav"))->status(), SourceStatus::CannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
        << "opening a FIFO with no writer must not wait for one";
}

TEST_F(WavReaderTest, EveryPrefixOfEveryWrittenFileOpensOrIsRefusedCleanly) {
    std::vector<std::string> files;
    const auto samples = sineSamples(3000, 2, 8000);
    {
        PcmWavWriter pcm(path("p16.wav"), 8000, 2, PcmSampleType::Signed16);
        PcmWavWriter f32(path("f32.wav"), 8000, 2, PcmSampleType::Float32);
        GsmWavWriter gsm(path("gsm.wav"), 8000);
        writeAll(pcm, samples);
        writeAll(f32, samples);
        std::vector<InternalSample> mono(samples.begin(), samples.begin() + 3000);
        writeAll(gsm, mono);
    }
    files = {"p16.wav", "f32.wav", "gsm.wav"};
    for (const std::uint16_t tag : {2, 0x11, 7}) {
        const auto formats = m_codecs.Formats(tag == 7 ? 1 : tag == 2 ? 3 : 2, tag);
        ASSERT_FALSE(formats.empty());
        const std::string name = "codec" + std::to_string(tag) + ".wav";
        {
            CompressedWavWriter writer(path(name), formats[1].format, m_codecs);
            writeAll(writer, samples);
        }
        files.push_back(name);
    }
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const auto bytes = ReadFileBytes(path(name));
        const int usable = test::OpenEveryPrefix(bytes, path("prefix.wav"),
                                                 [&](const std::string& p) { return open(p); });
        EXPECT_GT(usable, 0);
    }
}

}  // namespace
}  // namespace sonaro
