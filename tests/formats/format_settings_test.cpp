// The stored recording formats: the settings behind them, the WAV format file, the format words
// of the command line, and the writer a recording opens from them.
#include "formats/format_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>

#include "formats/byte_order.h"
#include "formats/encoder_options.h"
#include "formats/format_arguments.h"
#include "formats/mp3_writer.h"
#include "formats/output_writer.h"
#include "support/audio_files.h"
#include "support/blocking_fifo.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

class FormatSettingsTest : public test::SettingsTest {
  protected:
    std::string path(const char* name) const { return m_dir + "/" + name; }
    std::string fileBytes() const { return test::ReadTextFile(m_formats.wavFormatPath()); }
    // The writer a recording into `name` opens with the stored format.
    SinkRef openWriter(const char* name, const std::string& mp3Encoder = "") {
        return OpenOutputWriter(path(name), m_formats.LoadRecordingFormat(), m_codecs, mp3Encoder);
    }
    // Applies the command-line words after the format word; gives the result and how many words
    // were used.
    std::pair<FormatArgumentsResult, std::size_t> apply(OutputFormat format,
                                                        std::vector<std::string> words) {
        words.insert(words.begin(), "-record");
        std::size_t next = 1;
        const auto result = ApplyFormatArguments(m_formats, format, words, next);
        return {result, next - 1};
    }

    FormatSettings m_formats{m_settings, m_dir + "/data/sonaro"};
    CodecManager m_codecs;
};

TEST_F(FormatSettingsTest, OutputFormatOutsideTheTableReadsAsWav) {
    EXPECT_EQ(m_formats.GetOutputFormat(), OutputFormat::Wav);
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "Format", ""), "2");
    EXPECT_EQ(m_formats.GetOutputFormat(), OutputFormat::Aiff);
    m_formats.SetOutputFormat(OutputFormat::Opus);
    EXPECT_EQ(m_formats.GetOutputFormat(), OutputFormat::Opus);
    for (const char* stored : {"7", "-1", "5"}) {
        m_settings.WriteSettingString("Settings", "Format", stored);
        EXPECT_EQ(m_formats.GetOutputFormat(), OutputFormat::Wav) << stored;
    }
}

TEST_F(FormatSettingsTest, WavFormatFileIsExactly1028LittleEndianBytes) {
    WaveFormat gsm;
    gsm.formatTag = 0x31;
    gsm.samplesPerSec = 8000;
    gsm.avgBytesPerSec = 1625;
    gsm.blockAlign = 65;
    gsm.bitsPerSample = 0;
    gsm.extra = {0x40, 0x01};
    gsm.manufacturerId = 0x1234;
    gsm.productId = 0xABCD;
    ASSERT_TRUE(m_formats.SaveWavFormat(gsm));
    const std::string bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 1028u);
    EXPECT_EQ(bytes.substr(0, 20),
              std::string("\x31\0\1\0\x40\x1f\0\0\x59\x06\0\0\x41\0\0\0\2\0\x40\1", 20));
    EXPECT_EQ(bytes.substr(20, 1004), std::string(1004, '\0'));
    EXPECT_EQ(bytes.substr(1024), std::string("\x34\x12\xcd\xab", 4));
    EXPECT_EQ(m_formats.LoadWavFormat(), gsm);

    // An extra count beyond the file is cut to what the file holds.
    auto oversized = EncodeWaveFormatFile(MakePcmWaveFormat(8000, 1, 16));
    oversized[16] = 0xFF;
    oversized[17] = 0xFF;
    const auto format = DecodeWaveFormatFile(oversized);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->extra.size(), WaveFormat::kMaxExtraBytes);
}

TEST_F(FormatSettingsTest, MissingOrShortFileGivesTheDefaultPcmFormat) {
    const WaveFormat expected = MakePcmWaveFormat(44100, 1, 16);
    EXPECT_EQ(m_formats.LoadWavFormat(), expected);
    ASSERT_TRUE(m_formats.SaveWavFormat(MakePcmWaveFormat(8000, 2, 8)));
    std::filesystem::resize_file(m_formats.wavFormatPath(), 1027);
    EXPECT_EQ(m_formats.LoadWavFormat(), expected);
}

TEST_F(FormatSettingsTest, OnlyARegularFileIsReadAndAnythingElseGivesTheDefaultAtOnce) {
    const WaveFormat expected = MakePcmWaveFormat(44100, 1, 16);
    const std::string path = m_formats.wavFormatPath();
    std::filesystem::create_directories(m_dir + "/data/sonaro");
    testing::internal::CaptureStderr();
    WaveFormat first;
    WaveFormat second;
    EXPECT_TRUE(test::FinishesBesideFifo(path, 3000, [&] {
        first = m_formats.LoadWavFormat();
        second = m_formats.LoadWavFormat();
    })) << "a FIFO without a writer must not hold up the start";
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, expected);
    // Said once, not at every label the window shows.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_THAT(said, testing::HasSubstr(path));
    EXPECT_EQ(said.find(path), said.rfind(path)) << said;

    // A device gives endless bytes that would read as a format of zeros.
    unlink(path.c_str());
    ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
    FormatSettings fresh(m_settings, m_dir + "/data/sonaro");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fresh.LoadWavFormat(), expected);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::HasSubstr(path));
}

TEST_F(FormatSettingsTest, FailedSaveKeepsTheOldFile) {
    const WaveFormat old = MakePcmWaveFormat(22050, 2, 16);
    ASSERT_TRUE(m_formats.SaveWavFormat(old));
    // A file-size limit makes the write fail even for root, for whom permissions do not count.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved96k = m_formats.SaveWavFormat(MakePcmWaveFormat(96000, 2, 24));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved96k);
    EXPECT_EQ(m_formats.LoadWavFormat(), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir + "/data/sonaro"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";
}

TEST_F(FormatSettingsTest, Mp3LoadRaisesTheVbrMinimumOnlyAboveA160Maximum) {
    EXPECT_EQ(m_formats.LoadMp3Settings(), Mp3Settings{});
    m_settings.WriteSettingInt("MP3Encoder", "VBRMaxBitRate", 192);
    m_settings.WriteSettingInt("MP3Encoder", "VBRMinBitRate", 8);
    EXPECT_EQ(m_formats.LoadMp3Settings().vbrMinBitRate, 32);
    EXPECT_EQ(m_formats.LoadMp3Settings().vbrMaxBitRate, 192);
    m_settings.WriteSettingInt("MP3Encoder", "VBRMaxBitRate", 160);
    EXPECT_EQ(m_formats.LoadMp3Settings().vbrMinBitRate, 8);
}

TEST_F(FormatSettingsTest, Mp3AiffFlacAndOpusSettingsRoundTrip) {
    Mp3Settings mp3;
    mp3.constantBitRate = false;
    mp3.cbrBitRate = 320;
    mp3.highQuality = false;
    mp3.vbrMinBitRate = 64;
    mp3.vbrMaxBitRate = 256;
    mp3.vbrQuality = 9;
    mp3.errorProtection = true;
    mp3.channelMode = 3;
    m_formats.SaveMp3Settings(mp3);
    EXPECT_EQ(m_formats.LoadMp3Settings(), mp3);
    EXPECT_EQ(m_settings.ReadSettingString("MP3Encoder", "ConstantBitRate", ""), "0");
    const AiffSettings aiff{1, 22050, 24};
    m_formats.SaveAiffSettings(aiff);
    EXPECT_EQ(m_formats.LoadAiffSettings(), aiff);
    const FlacSettings flac{8, 24, 96000, 1};
    m_formats.SaveFlacSettings(flac);
    EXPECT_EQ(m_formats.LoadFlacSettings(), flac);
    const OpusSettings opus{24, true, 3, 1};
    m_formats.SaveOpusSettings(opus);
    EXPECT_EQ(m_formats.LoadOpusSettings(), opus);
    EXPECT_EQ(m_settings.ReadSettingString("OpusEncode", "Application", ""), "0");
}

TEST_F(FormatSettingsTest, LabelsDescribeTheCurrentFormat) {
    EXPECT_EQ(m_formats.FormatLabel(), "44100Hz Mono Wav");
    ASSERT_TRUE(m_formats.SaveWavFormat(MakePcmWaveFormat(22050, 2, 16)));
    EXPECT_EQ(m_formats.FormatLabel(), "22050Hz Stereo Wav");
    m_formats.SetOutputFormat(OutputFormat::Mp3);
    EXPECT_EQ(m_formats.FormatLabel(), "128KBps Joint Mp3");
    m_settings.WriteSettingBool("MP3Encoder", "ConstantBitRate", false);
    EXPECT_EQ(m_formats.FormatLabel(), "32-128Kbps Joint Mp3");
    m_settings.WriteSettingInt("MP3Encoder", "ChannelMode", 2);
    EXPECT_EQ(m_formats.FormatLabel(), "32-128Kbps Force Mp3");
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    EXPECT_EQ(m_formats.FormatLabel(), "Stereo 44100 AIFF");
    m_settings.WriteSettingInt("AIFFEncode", "Channels", 1);
    EXPECT_EQ(m_formats.FormatLabel(), "Mono 44100 AIFF");
    m_formats.SetOutputFormat(OutputFormat::Flac);
    EXPECT_EQ(m_formats.FormatLabel(), "44100Hz Stereo Flac");
    m_formats.SetOutputFormat(OutputFormat::Opus);
    m_settings.WriteSettingInt("OpusEncode", "Channels", 1);
    EXPECT_EQ(m_formats.FormatLabel(), "64Kbps Mono Opus");

    // Zero fields record with the writers' defaults, and the label says so.
    m_formats.SetOutputFormat(OutputFormat::Wav);
    ASSERT_TRUE(m_formats.SaveWavFormat(MakePcmWaveFormat(0, 0, 0)));
    EXPECT_EQ(m_formats.FormatLabel(), "44100Hz Mono Wav");
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_formats.SaveAiffSettings({1, 0, 0});
    EXPECT_EQ(m_formats.FormatLabel(), "Mono 44100 AIFF");
}

constexpr auto kApplied = FormatArgumentsResult::Applied;
constexpr auto kIncomplete = FormatArgumentsResult::Incomplete;

TEST_F(FormatSettingsTest, VariableBitRateWithEverySlot) {
    const auto [result, used] =
        apply(OutputFormat::Mp3, {"-vbr", "-b", "64", "-B", "192", "-q", "2", "-m", "m", "-p"});
    EXPECT_EQ(result, kApplied);
    EXPECT_EQ(used, 10u);
    const Mp3Settings mp3 = m_formats.LoadMp3Settings();
    EXPECT_FALSE(mp3.constantBitRate);
    EXPECT_EQ(mp3.vbrMinBitRate, 64);
    EXPECT_EQ(mp3.vbrMaxBitRate, 192);
    EXPECT_EQ(mp3.vbrQuality, 2);
    EXPECT_EQ(mp3.channelMode, 3);
    EXPECT_TRUE(mp3.errorProtection);
}

TEST_F(FormatSettingsTest, ListsEndingBeforeAValueSlotStoreNothing) {
    EXPECT_EQ(apply(OutputFormat::Mp3, {"-cbr", "-b", "96"}), std::make_pair(kIncomplete, 0ul));
    EXPECT_EQ(apply(OutputFormat::Mp3, {"-vbr", "-b", "64", "-B"}),
              std::make_pair(kIncomplete, 0ul));
    EXPECT_EQ(apply(OutputFormat::Mp3, {}), std::make_pair(kIncomplete, 0ul));
    EXPECT_EQ(apply(OutputFormat::Aiff, {"-s", "8000", "-m"}), std::make_pair(kIncomplete, 0ul));
    EXPECT_EQ(m_settings.ReadSettingString("MP3Encoder", "CBRBitRate", "none"), "none");
    EXPECT_EQ(m_settings.ReadSettingString("AIFFEncode", "SampleRate", "none"), "none");
    EXPECT_EQ(m_formats.LoadMp3Settings(), Mp3Settings{});
    EXPECT_EQ(m_formats.LoadAiffSettings(), AiffSettings{});
}

TEST_F(FormatSettingsTest, OptionalFlagsAreUsedOnlyWhenPresent) {
    m_settings.WriteSettingBool("MP3Encoder", "HighQuality", false);
    m_settings.WriteSettingBool("MP3Encoder", "ErrorProtection", true);
    const auto [result, used] = apply(OutputFormat::Mp3, {"-CBR", "-b", "128", "-M", "J", "-hide"});
    EXPECT_EQ(result, kApplied);
    EXPECT_EQ(used, 5u);
    Mp3Settings mp3 = m_formats.LoadMp3Settings();
    EXPECT_TRUE(mp3.constantBitRate);
    EXPECT_EQ(mp3.cbrBitRate, 128);
    EXPECT_FALSE(mp3.highQuality) << "a missing -h keeps the stored value";
    EXPECT_FALSE(mp3.errorProtection) << "a missing -p turns protection off";
    EXPECT_EQ(apply(OutputFormat::Mp3, {"-cbr", "-b", "256", "-h", "-m", "x", "-p"}).second, 7u);
    mp3 = m_formats.LoadMp3Settings();
    EXPECT_TRUE(mp3.highQuality);
    EXPECT_TRUE(mp3.errorProtection);
    EXPECT_EQ(mp3.channelMode, 1) << "an unknown mode letter keeps the mode";
}

TEST_F(FormatSettingsTest, AValueSlotWithTheWrongOptionUsesItsWordsButNotItsValue) {
    m_settings.WriteSettingInt("MP3Encoder", "CBRBitRate", 160);
    EXPECT_EQ(apply(OutputFormat::Mp3, {"-cbr", "-x", "32", "-m", "s"}).second, 5u);
    EXPECT_EQ(m_formats.LoadMp3Settings().cbrBitRate, 160);
    EXPECT_EQ(m_formats.LoadMp3Settings().channelMode, 0);
    EXPECT_EQ(apply(OutputFormat::Wav, {"-x", "22050", "-m", "2", "-b", "16"}).first, kApplied);
    EXPECT_EQ(m_formats.LoadWavFormat(), MakePcmWaveFormat(0, 2, 16));
    EXPECT_EQ(apply(OutputFormat::Aiff, {"-s", "11025", "-c", "1"}).first, kApplied);
    EXPECT_EQ(m_formats.LoadAiffSettings().sampleRate, 11025);
    EXPECT_EQ(m_formats.LoadAiffSettings().channels, 0);
}

TEST_F(FormatSettingsTest, WavOptionsBuildAPcmFormatAndAFailedSaveIsReported) {
    EXPECT_EQ(apply(OutputFormat::Wav, {"-s", "48000", "-m", "2", "-b", "24", "-show"}),
              std::make_pair(kApplied, 6ul));
    const WaveFormat deep = m_formats.LoadWavFormat();
    EXPECT_EQ(deep, MakePcmWaveFormat(48000, 2, 24));
    EXPECT_EQ(deep.blockAlign, 8) << "24-bit samples take four bytes";
    EXPECT_EQ(deep.avgBytesPerSec, 288000u);
    EXPECT_EQ(std::filesystem::file_size(m_formats.wavFormatPath()), 1028u);

    std::filesystem::remove(m_formats.wavFormatPath());
    std::filesystem::create_directories(m_formats.wavFormatPath());
    EXPECT_EQ(apply(OutputFormat::Wav, {"-s", "8000", "-m", "1", "-b", "8"}).first,
              FormatArgumentsResult::SaveFailed);
}

TEST_F(FormatSettingsTest, FlacAndOpusTakeTheirSlotsAndKeepTheRestStored) {
    EXPECT_EQ(apply(OutputFormat::Flac, {"-s", "48000", "-m", "1", "-b", "24", "-ms"}),
              std::make_pair(kApplied, std::size_t{6}));
    EXPECT_EQ(m_formats.LoadFlacSettings(), (FlacSettings{5, 24, 48000, 1}));
    EXPECT_EQ(apply(OutputFormat::Flac, {"-s", "0", "-m", "0", "-b", "0"}).first, kApplied);
    EXPECT_EQ(m_formats.LoadFlacSettings(), FlacSettings{}) << "zeros record with the defaults";
    EXPECT_EQ(apply(OutputFormat::Flac, {"-s", "500", "-m", "1", "-b", "16"}).first,
              FormatArgumentsResult::RateRefused);
    EXPECT_EQ(apply(OutputFormat::Opus, {"-b", "900", "-m", "1"}),
              std::make_pair(kApplied, std::size_t{4}));
    EXPECT_EQ(m_formats.LoadOpusSettings(), (OpusSettings{510, false, 10, 1}));
    EXPECT_EQ(apply(OutputFormat::Opus, {"-b", "0", "-x", "2"}).first, kApplied);
    EXPECT_EQ(m_formats.LoadOpusSettings(), (OpusSettings{510, false, 10, 1}));
    EXPECT_EQ(apply(OutputFormat::Opus, {"-b", "32"}), std::make_pair(kIncomplete, std::size_t{0}));
}

TEST(FormatWords, NameTheFiveFormats) {
    EXPECT_EQ(FormatFromWord("WAV"), OutputFormat::Wav);
    EXPECT_EQ(FormatFromWord("Mp3"), OutputFormat::Mp3);
    EXPECT_EQ(FormatFromWord("aif"), OutputFormat::Aiff);
    EXPECT_EQ(FormatFromWord("AIFF"), OutputFormat::Aiff);
    EXPECT_EQ(FormatFromWord("Flac"), OutputFormat::Flac);
    EXPECT_EQ(FormatFromWord("OPUS"), OutputFormat::Opus);
    EXPECT_EQ(FormatFromPath("take.flac"), OutputFormat::Flac);
    EXPECT_EQ(FormatFromPath("take.Opus"), OutputFormat::Opus);
    EXPECT_EQ(FormatFromWord("ogg"), std::nullopt);
    EXPECT_EQ(FormatFromWord("-hide"), std::nullopt);
    EXPECT_EQ(FormatFromPath("/a/b.c/take.MP3"), OutputFormat::Mp3);
    EXPECT_EQ(FormatFromPath("/a/b.wav/take"), std::nullopt);
    EXPECT_EQ(FormatFromPath("take.aiff"), OutputFormat::Aiff);
    EXPECT_EQ(FormatFromPath("take."), std::nullopt);
}

TEST(FormatNumbers, AreLeadingDecimalDigits) {
    EXPECT_EQ(ParseLeadingDigits("44100"), 44100ul);
    EXPECT_EQ(ParseLeadingDigits("128k"), 128ul);
    EXPECT_EQ(ParseLeadingDigits("k128"), 0ul);
    EXPECT_EQ(ParseLeadingDigits("-5"), 0ul);
    EXPECT_EQ(ParseLeadingDigits("99999999999999999999999999"), ~0ul);
}

TEST_F(FormatSettingsTest, EachFormatGivesItsWriterWithTheStoredShape) {
    SinkRef wav = openWriter("a.wav");
    EXPECT_FALSE(wav->isUnusable());
    EXPECT_EQ(wav->sampleRate(), 44100);
    EXPECT_EQ(wav->channels(), 1);

    ASSERT_TRUE(m_formats.SaveWavFormat(m_codecs.Formats(1, 7)[3].format));  // mu-law stereo
    wav = openWriter("b.wav");
    EXPECT_FALSE(wav->isUnusable());
    EXPECT_EQ(wav->channels(), 2);
    wav.reset();
    EXPECT_EQ(GetLe16(&test::ReadFileBytes(path("b.wav"))[20]), 7);

    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_formats.SaveAiffSettings({1, 22050, 8});
    SinkRef aiff = openWriter("c.aif");
    EXPECT_EQ(aiff->sampleRate(), 22050);
    EXPECT_EQ(aiff->channels(), 1);
    aiff.reset();
    EXPECT_EQ(GetBe16(&test::ReadFileBytes(path("c.aif"))[26]), 8);

    m_formats.SetOutputFormat(OutputFormat::Mp3);
    EXPECT_TRUE(openWriter("none.mp3")->isUnusable()) << "no encoder component, no writer";
    if (const std::string lame = FindProgramOnPath("lame"); !lame.empty()) {
        SinkRef mp3 = openWriter("d.mp3", lame);
        EXPECT_FALSE(mp3->isUnusable());
        EXPECT_EQ(mp3->sampleRate(), 44100);
        EXPECT_EQ(mp3->channels(), 2);
    }
}

TEST_F(FormatSettingsTest, ZerosFromTheCommandLineFallBackToTheDefaults) {
    WaveFormat zeros = MakePcmWaveFormat(8000, 0, 0);
    ASSERT_TRUE(m_formats.SaveWavFormat(zeros));
    SinkRef wav = openWriter("z.wav");
    EXPECT_FALSE(wav->isUnusable());
    EXPECT_EQ(wav->sampleRate(), 8000);
    EXPECT_EQ(wav->channels(), 1);
    wav.reset();
    auto bytes = test::ReadFileBytes(path("z.wav"));
    EXPECT_EQ(GetLe16(&bytes[34]), 16);
    EXPECT_EQ(GetLe16(&bytes[32]), 2);

    const WaveFormat usable = UsableWavFormat(MakePcmWaveFormat(0, 5, 24));
    EXPECT_EQ(usable.samplesPerSec, 44100u);
    EXPECT_EQ(usable.channels, 2);
    EXPECT_EQ(usable.bitsPerSample, 24);

    WaveFormat gsm;
    gsm.formatTag = 0x31;
    gsm.samplesPerSec = 0;
    EXPECT_EQ(UsableWavFormat(gsm).samplesPerSec, 8000u);

    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_formats.SaveAiffSettings({0, 0, 0});
    SinkRef aiff = openWriter("z.aif");
    EXPECT_EQ(aiff->sampleRate(), 44100);
    EXPECT_EQ(aiff->channels(), 2);
    aiff.reset();
    EXPECT_EQ(GetBe16(&test::ReadFileBytes(path("z.aif"))[26]), 16);
}

TEST_F(FormatSettingsTest, RatesNoDeviceCanRecordAreRefusedWithTheReasonAndNoFile) {
    RecordingFormat format;
    for (const std::uint32_t rate : {999u, 384001u, 1000000007u, 2147483647u, 4294967295u}) {
        format.wav = MakePcmWaveFormat(rate, 2, 16);
        SinkRef wav = OpenOutputWriter(path("huge.wav"), format, m_codecs, "");
        EXPECT_TRUE(wav->isFormatRefused()) << rate;
        EXPECT_THAT(wav->WriteError(), testing::HasSubstr(std::to_string(rate) + " Hz"));
    }
    format.format = OutputFormat::Aiff;
    format.aiff = {2, 2147483647, 16};
    EXPECT_TRUE(OpenOutputWriter(path("huge.aif"), format, m_codecs, "")->isFormatRefused());
    EXPECT_FALSE(std::filesystem::exists(path("huge.wav")));
    EXPECT_FALSE(std::filesystem::exists(path("huge.aif")));

    format.format = OutputFormat::Wav;
    format.wav = m_codecs.Formats(1, 7)[3].format;
    format.wav.formatTag = 0x7777;
    SinkRef noCodec = OpenOutputWriter(path("unknown.wav"), format, m_codecs, "");
    EXPECT_TRUE(noCodec->isFormatRefused()) << "a format tag no codec offers";
    EXPECT_THAT(noCodec->WriteError(), testing::HasSubstr("30583"));

    format.wav = MakePcmWaveFormat(384000, 2, 16);
    EXPECT_FALSE(OpenOutputWriter(path("fast.wav"), format, m_codecs, "")->isUnusable());
    SinkRef noFolder = OpenOutputWriter(path("x/y.wav"), format, m_codecs, "");
    EXPECT_TRUE(noFolder->isUnusable());
    EXPECT_FALSE(noFolder->isFormatRefused())
        << "a missing folder is a file problem, not a format one";
}

TEST(EncoderOptionsTest, VariableRateChecks) {
    Mp3Settings mp3;
    mp3.constantBitRate = false;
    mp3.vbrMinBitRate = 24;
    mp3.vbrMaxBitRate = 192;
    auto refused = CheckMp3Settings(mp3);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->messageBoxIcon, PromptIcon::Error);
    mp3.vbrMaxBitRate = 160;
    EXPECT_FALSE(CheckMp3Settings(mp3));
    mp3.vbrMaxBitRate = 16;
    refused = CheckMp3Settings(mp3);
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->messageBoxIcon);
    mp3.constantBitRate = true;
    EXPECT_FALSE(CheckMp3Settings(mp3));
}

TEST(EncoderOptionsTest, ListTextsAndDisplayedDefaults) {
    EXPECT_EQ(NumberFromListText("22050", 44100), 22050);
    EXPECT_EQ(NumberFromListText("", 44100), 44100);
    EXPECT_EQ(NumberFromListText("abc", 16), 16);
    EXPECT_EQ(NumberFromListText("-8000", 44100), 44100);
    EXPECT_EQ(AiffSettingsForDisplay({0, 0, 0}), (AiffSettings{2, 44100, 16}));
    EXPECT_EQ(AiffSettingsForDisplay({1, 8000, 8}), (AiffSettings{1, 8000, 8}));
}

}  // namespace
}  // namespace sonaro
