#include "formats/format_arguments.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/settings_home.h"

namespace sonaro {
namespace {

class FormatArgumentsTest : public test::SettingsTest {
  protected:
    // Applies the words after the format word; gives the result and how many words were used.
    std::pair<FormatArgumentsResult, std::size_t> apply(OutputFormat format,
                                                        std::vector<std::string> words) {
        words.insert(words.begin(), "-record");
        std::size_t next = 1;
        const auto result = ApplyFormatArguments(m_formats, format, words, next);
        return {result, next - 1};
    }

    FormatSettings m_formats{m_settings, m_dir + "/data"};
};

constexpr auto kApplied = FormatArgumentsResult::Applied;
constexpr auto kIncomplete = FormatArgumentsResult::Incomplete;

TEST_F(FormatArgumentsTest, VariableBitRateWithEverySlot) {
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

TEST_F(FormatArgumentsTest, ListsEndingBeforeAValueSlotStoreNothing) {
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

TEST_F(FormatArgumentsTest, OptionalFlagsAreUsedOnlyWhenPresent) {
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

TEST_F(FormatArgumentsTest, AValueSlotWithTheWrongOptionUsesItsWordsButNotItsValue) {
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

TEST_F(FormatArgumentsTest, WavOptionsBuildAPcmFormat) {
    EXPECT_EQ(apply(OutputFormat::Wav, {"-s", "48000", "-m", "2", "-b", "24", "-show"}),
              std::make_pair(kApplied, 6ul));
    EXPECT_EQ(m_formats.LoadWavFormat(), MakePcmWaveFormat(48000, 2, 24));
    EXPECT_EQ(std::filesystem::file_size(m_formats.wavFormatPath()), 1028u);
}

TEST_F(FormatArgumentsTest, FailedWavSaveIsReported) {
    std::filesystem::create_directories(m_formats.wavFormatPath());
    EXPECT_EQ(apply(OutputFormat::Wav, {"-s", "8000", "-m", "1", "-b", "8"}).first,
              FormatArgumentsResult::SaveFailed);
}

TEST_F(FormatArgumentsTest, FlacAndOpusTakeTheirSlotsAndKeepTheRestStored) {
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

}  // namespace
}  // namespace sonaro
