#include "formats/format_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>

#include "support/blocking_fifo.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

class FormatSettingsTest : public test::SettingsTest {
  protected:
    std::string fileBytes() const { return test::ReadTextFile(m_formats.wavFormatPath()); }

    FormatSettings m_formats{m_settings, m_dir + "/data/sonaro"};
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
}

TEST_F(FormatSettingsTest, MissingOrShortFileGivesTheDefaultPcmFormat) {
    const WaveFormat expected = MakePcmWaveFormat(44100, 1, 16);
    EXPECT_EQ(m_formats.LoadWavFormat(), expected);
    EXPECT_EQ(expected.avgBytesPerSec, 88200u);
    EXPECT_EQ(expected.blockAlign, 2);
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

TEST_F(FormatSettingsTest, OversizedExtraCountIsCutToTheFile) {
    auto bytes = EncodeWaveFormatFile(MakePcmWaveFormat(8000, 1, 16));
    bytes[16] = 0xFF;
    bytes[17] = 0xFF;
    const auto format = DecodeWaveFormatFile(bytes);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->extra.size(), WaveFormat::kMaxExtraBytes);
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

TEST_F(FormatSettingsTest, PcmFormatsFollowTheBlockAlignRule) {
    const WaveFormat eight = MakePcmWaveFormat(8000, 2, 8);
    EXPECT_EQ(eight.blockAlign, 2);
    EXPECT_EQ(eight.avgBytesPerSec, 16000u);
    const WaveFormat deep = MakePcmWaveFormat(96000, 2, 24);
    EXPECT_EQ(deep.blockAlign, 8);
    EXPECT_EQ(deep.avgBytesPerSec, 576000u);
    const WaveFormat zero = MakePcmWaveFormat(0, 0, 0);
    EXPECT_EQ(zero.blockAlign, 0);
    EXPECT_EQ(zero.avgBytesPerSec, 0u);
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
}

// Zero fields record with the writers' defaults, and the label says so.
TEST_F(FormatSettingsTest, LabelsOfZeroFieldsNameWhatIsRecorded) {
    ASSERT_TRUE(m_formats.SaveWavFormat(MakePcmWaveFormat(0, 0, 0)));
    EXPECT_EQ(m_formats.FormatLabel(), "44100Hz Mono Wav");
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_formats.SaveAiffSettings({1, 0, 0});
    EXPECT_EQ(m_formats.FormatLabel(), "Mono 44100 AIFF");
}

}  // namespace
}  // namespace sonaro
