// The AIFF, AU, raw, GSM and MP3 readers and the opener's dispatch by extension.
#include <gtest/gtest.h>

#include <algorithm>

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
#include "formats/g711.h"
#include "formats/mp3_reader.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/raw_reader.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/settings_home.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

using test::ReadFileBytes;
using test::ReadWhole;
using test::WriteFileBytes;

std::vector<InternalSample> randomSamples(std::size_t count, unsigned seed = 3) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<InternalSample> value(-524288, 524287);
    std::vector<InternalSample> samples(count);
    for (auto& s : samples) {
        s = value(generator);
    }
    return samples;
}

std::vector<InternalSample> internalOf(const std::vector<std::int16_t>& pcm) {
    std::vector<InternalSample> samples(pcm.size());
    ConvertPcm16ToInternal(pcm.data(), samples.data(), static_cast<std::int64_t>(pcm.size()));
    return samples;
}

std::vector<std::int16_t> pcmOf(const std::vector<InternalSample>& samples) {
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    return pcm;
}

void writeAll(AudioSink& sink, const std::vector<InternalSample>& samples, int block = 1000) {
    const int frames = static_cast<int>(samples.size()) / sink.channels();
    for (int done = 0; done < frames; done += block) {
        sink.Write(&samples[static_cast<std::size_t>(done) * sink.channels()],
                   std::min(block, frames - done));
    }
}

class ReadersTest : public test::SettingsTest {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    // The full opener without an outside decoder: only what is read directly.
    SourceRef openAudio(const std::string& file) const {
        AudioOpenOptions options;
        options.settings = &m_settings;
        return OpenAudioFile(file, options).source;
    }
    SourceRef openBytes(const std::string& name, const std::vector<std::uint8_t>& bytes,
                        SourceRef (*open)(const std::string&)) const {
        WriteFileBytes(path(name), bytes);
        return open(path(name));
    }
};

TEST_F(ReadersTest, AiffFilesOfTheWriterReadBackWithExactlyTheRecordedFrames) {
    for (const int channels : {1, 2}) {
        for (const int size : {8, 16}) {
            SCOPED_TRACE(testing::Message() << channels << " channel(s), " << size << " bits");
            const auto samples = randomSamples(static_cast<std::size_t>(4321) * channels);
            {
                AiffWriter writer(path("a.aiff"), 44100, channels, size);
                writeAll(writer, samples);
            }
            SourceRef source = OpenAiffFile(path("a.aiff"));
            ASSERT_FALSE(source->isUnusable());
            EXPECT_EQ(source->rate(), 44100);
            EXPECT_EQ(source->channels(), channels);
            EXPECT_EQ(source->GetLength(), 4321);
            std::vector<InternalSample> expected(samples.size());
            std::transform(samples.begin(), samples.end(), expected.begin(), [&](InternalSample x) {
                return size == 8 ? std::min((SaturateInternal(x) + 8) >> 12, 127) * 4096
                                 : ToInternalSample(ToPcm16(x));
            });
            EXPECT_EQ(ReadWhole(*source), expected);
        }
    }
}

TEST_F(ReadersTest, AnAiffRecordingCutByACrashReadsUpToTheEndOfTheFile) {
    const auto samples = randomSamples(2 * 1000);
    std::vector<std::uint8_t> openState;
    {
        AiffWriter writer(path("live.aif"), 8000, 2, 16);
        writeAll(writer, samples);
        openState = ReadFileBytes(path("live.aif"));
    }
    ASSERT_EQ(GetBe32(openState.data() + 22), 0u) << "the open-state header counts no frames";
    SourceRef source = openBytes("cut.aif", openState, OpenAiffFile);
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->GetLength(), 1000);

    // While the writer records, the reader follows it; its completed header ends the growth.
    auto writer = std::make_unique<AiffWriter>(path("growing.aif"), 8000, 1, 16);
    writer->Write(samples.data(), 300);
    SourceRef growing = OpenAiffFile(path("growing.aif"));
    EXPECT_TRUE(growing->IsGrowing());
    EXPECT_EQ(growing->GetLength(), 300);
    writer->Write(samples.data(), 200);
    EXPECT_EQ(growing->GetLength(), 500);
    writer.reset();
    EXPECT_FALSE(growing->IsGrowing());
    EXPECT_EQ(growing->GetLength(), 500);
    // A completed header whose sizes promise more than the file holds.
    auto truncated = ReadFileBytes(path("live.aif"));
    truncated.resize(truncated.size() - 401);
    EXPECT_EQ(openBytes("short.aif", truncated, OpenAiffFile)->GetLength(), 899);
}

TEST_F(ReadersTest, AiffRatesDecodeWithinTheirExponentRange) {
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
std::vector<std::uint8_t> aifc(const char* compression, int bits,
                               const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(12);
    std::memcpy(out.data(), "FORM", 4);
    std::memcpy(out.data() + 8, "AIFC", 4);
    const auto chunk = [&](const char* id, const std::vector<std::uint8_t>& body) {
        const std::size_t at = out.size();
        out.resize(at + 8);
        std::memcpy(out.data() + at, id, 4);
        PutBe32(out.data() + at + 4, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            out.push_back(0);
        }
    };
    std::vector<std::uint8_t> sound(8, 0);
    sound.insert(sound.end(), data.begin(), data.end());
    chunk("SSND", sound);
    std::vector<std::uint8_t> common(23);
    PutBe16(common.data(), 1);
    PutBe32(common.data() + 2, static_cast<std::uint32_t>(data.size() * 8 / bits));
    PutBe16(common.data() + 6, static_cast<std::uint32_t>(bits));
    EncodeAiffSampleRate(22050, common.data() + 8);
    std::memcpy(common.data() + 18, compression, 4);
    chunk("COMM", common);
    PutBe32(out.data() + 4, static_cast<std::uint32_t>(out.size() - 8));
    return out;
}

TEST_F(ReadersTest, AifcCompressionsAreReadOrRefusedAsMissingCodecs) {
    EXPECT_EQ(
        ReadWhole(*openBytes("a.aifc", aifc("sowt", 16, {0x34, 0x12, 0xFF, 0xFF}), OpenAiffFile)),
        (std::vector<InternalSample>{0x1234 * 16, -16}));
    EXPECT_EQ(ReadWhole(*openBytes("a.aifc", aifc("NONE", 16, {0x12, 0x34}), OpenAiffFile)),
              (std::vector<InternalSample>{0x1234 * 16}));
    EXPECT_EQ(ReadWhole(*openBytes("a.aifc", aifc("fl32", 32, {0xBF, 0x00, 0, 0}), OpenAiffFile)),
              (std::vector<InternalSample>{-262144}));
    EXPECT_EQ(ReadWhole(*openBytes("a.aifc", aifc("ulaw", 8, {0x00}), OpenAiffFile)),
              (std::vector<InternalSample>{DecodeMuLaw(0) * 16}));
    EXPECT_EQ(openBytes("a.aifc", aifc("ima4", 16, {1, 2}), OpenAiffFile)->status(),
              SourceStatus::CodecMissing);
    auto noCommon = aifc("NONE", 16, {1, 2});
    std::memcpy(noCommon.data() + 12 + 8 + 10, "XXXX", 4);
    EXPECT_EQ(openBytes("a.aifc", noCommon, OpenAiffFile)->status(), SourceStatus::Corrupt);
}

std::vector<std::uint8_t> auFile(std::uint32_t offset, std::uint32_t size, std::uint32_t encoding,
                                 std::uint32_t channels, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(std::max<std::size_t>(offset, 24));
    std::memcpy(out.data(), ".snd", 4);
    PutBe32(out.data() + 4, offset);
    PutBe32(out.data() + 8, size);
    PutBe32(out.data() + 12, encoding);
    PutBe32(out.data() + 16, 8000);
    PutBe32(out.data() + 20, channels);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST_F(ReadersTest, AuEncodingsReadAndDamagedHeadersAreRefused) {
    const std::vector<std::uint8_t> data = {0x80, 0x01, 0x7F, 0xFF};
    const auto read = [&](const std::vector<std::uint8_t>& bytes) {
        SourceRef source = openBytes("a.au", bytes, OpenAuFile);
        return ReadWhole(*source);
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
    EXPECT_EQ(openBytes("a.au", badMagic, OpenAuFile)->status(), SourceStatus::Corrupt);
    auto pastEnd = auFile(24, 4, 3, 1, data);
    PutBe32(pastEnd.data() + 4, 29);
    EXPECT_EQ(openBytes("a.au", pastEnd, OpenAuFile)->status(), SourceStatus::Corrupt);
    auto inHeader = auFile(24, 4, 3, 1, data);
    PutBe32(inHeader.data() + 4, 8);
    EXPECT_EQ(openBytes("a.au", inHeader, OpenAuFile)->status(), SourceStatus::Corrupt);
    EXPECT_EQ(openBytes("a.au", auFile(24, 4, 3, 0, data), OpenAuFile)->status(),
              SourceStatus::Corrupt);
    EXPECT_EQ(openBytes("a.au", auFile(24, 4, 23, 1, data), OpenAuFile)->status(),
              SourceStatus::CodecMissing);
    EXPECT_EQ(OpenAuFile(path("missing.au"))->status(), SourceStatus::CannotOpen);
}

TEST_F(ReadersTest, RawCodecsDecodeTheirSampleCodings) {
    const std::vector<std::uint8_t> bytes = {0x00, 0x80, 0xFF, 0x7F};
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
}

TEST_F(ReadersTest, DialogicAdpcmFollowsTheStepTable) {
    // From silence: code 7 adds 15/8 of the first step (16), then of 34; code 0xF takes 15/8 of
    // 73 away, code 0 adds 1/8 of 157.
    WriteFileBytes(path("a.vox"), {0x77, 0xF0});
    SourceRef source = OpenRawFile(path("a.vox"), {8000, 1, 0});
    ASSERT_EQ(source->GetLength(), 4);
    const auto samples = ReadWhole(*source);
    EXPECT_EQ(samples[0], 30 * 256);
    EXPECT_EQ(samples[1], (30 + 63) * 256);
    EXPECT_EQ(samples[2], (93 - 136) * 256);
    EXPECT_EQ(samples[3], (93 - 136 + (157 >> 3)) * 256);
}

TEST_F(ReadersTest, TheOpenerDispatchesByExtensionWhateverItsCase) {
    const auto samples = randomSamples(2 * 100);
    {
        PcmWavWriter wav(path("UPPER.WAV"), 8000, 2, PcmSampleType::Signed16);
        AiffWriter aiff(path("Mixed.AiF"), 8000, 2, 16);
        writeAll(wav, samples);
        writeAll(aiff, samples);
    }
    for (const char* name : {"UPPER.WAV", "Mixed.AiF"}) {
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

    WriteFileBytes(path("a.VOX"), std::vector<std::uint8_t>(50, 0x11));
    SourceRef vox = openAudio(path("a.VOX"));
    EXPECT_EQ(vox->rate(), 8000);
    EXPECT_EQ(vox->GetLength(), 100);
    WriteFileBytes(path("noextension"), {1, 2, 3});
    EXPECT_EQ(openAudio(path("noextension"))->status(), SourceStatus::NotSupported);
    EXPECT_EQ(openAudio(path("missing.raw"))->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(LowerExtension("/a.b/c"), "");
    EXPECT_EQ(LowerExtension("/x/Y.AIFF"), ".aiff");
}

TEST_F(ReadersTest, TheRawFormatIsAskedForBeforeARawFileIsRead) {
    WriteFileBytes(path("a.snd"), std::vector<std::uint8_t>(400, 0x10));
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

TEST_F(ReadersTest, RawFormatsAreCheckedAndStoredPerKind) {
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

TEST_F(ReadersTest, RawGsmFramesReadAsSoxEncodedThem) {
    const auto pcm = test::SineFrames(8000, 1, 8000, 300.0, 9000.0);
    {
        PcmWavWriter wav(path("in.wav"), 8000, 1, PcmSampleType::Signed16);
        writeAll(wav, internalOf(pcm));
    }
    bool ok = false;
    test::RunForOutput({"sox", path("in.wav"), path("out.gsm")}, ok);
    ASSERT_TRUE(ok) << "sox encodes raw GSM";
    SourceRef source = openAudio(path("out.gsm"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->rate(), 8000);
    EXPECT_EQ(source->GetLength(), 8000);
    const auto ours = pcmOf(ReadWhole(*source));
    EXPECT_EQ(ours, test::DecodeWithSox(path("out.gsm")));
    EXPECT_GT(test::SignalToNoiseDb(pcm, ours), 10.0);
}

TEST_F(ReadersTest, Mp3FilesOfTheEncoderReadBackWithTheirLengthAndSignal) {
    const int frames = 44100 + 1234;
    const auto pcm = test::SineFrames(frames, 2, 44100, 440.0, 10000.0);
    {
        Mp3Settings settings;
        SinkRef writer = CreateMp3Writer("lame", path("a.mp3"), settings, 44100, 2);
        ASSERT_FALSE(writer->isUnusable());
        writeAll(*writer, internalOf(pcm));
    }
    SourceRef source = OpenRecordingFile(path("a.mp3"));
    ASSERT_FALSE(source->isUnusable());
    EXPECT_EQ(source->rate(), 44100);
    EXPECT_EQ(source->channels(), 2);
    EXPECT_EQ(source->GetLength(), frames) << "the encoder's delay and padding are removed";
    const auto whole = ReadWhole(*source, 1000);
    EXPECT_GT(test::SignalToNoiseDb(pcm, pcmOf(whole)), 15.0);
    source->Seek(30000);
    const auto later = test::ReadFrames(*source, 500);
    EXPECT_TRUE(std::equal(later.begin(), later.end(), whole.begin() + 2 * 30000));

    WriteFileBytes(path("text.mp3"), std::vector<std::uint8_t>(5000, 'a'));
    EXPECT_EQ(OpenRecordingFile(path("text.mp3"))->status(), SourceStatus::Corrupt);
    EXPECT_EQ(OpenMp3File(m_dir)->status(), SourceStatus::CannotOpen);
}

TEST_F(ReadersTest, EveryPrefixOfAiffAuAndMp3FilesOpensOrIsRefusedCleanly) {
    const auto samples = randomSamples(2 * 2000);
    {
        AiffWriter aiff(path("a.aiff"), 8000, 2, 16);
        writeAll(aiff, samples);
        SinkRef mp3 = CreateMp3Writer("lame", path("a.mp3"), Mp3Settings(), 8000, 2);
        writeAll(*mp3, samples);
    }
    EXPECT_GT(test::OpenEveryPrefix(ReadFileBytes(path("a.aiff")), path("p.aiff"), OpenAiffFile),
              0);
    EXPECT_GT(test::OpenEveryPrefix(auFile(24, 0xFFFFFFFF, 3, 2, std::vector<std::uint8_t>(400, 7)),
                                    path("p.au"), OpenAuFile),
              0);
    EXPECT_GT(
        test::OpenEveryPrefix(ReadFileBytes(path("a.mp3")), path("p.mp3"), OpenMp3File, 64, 211),
        0);
}

}  // namespace
}  // namespace sonaro
