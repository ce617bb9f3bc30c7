// OpenOutputWriter from stored settings, and what a recording does with zeros stored from the
// command line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/byte_order.h"
#include "formats/mp3_writer.h"
#include "formats/output_writer.h"
#include "support/audio_files.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

class OutputWriterTest : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_home.path() + "/" + name; }

    test::SettingsHome m_home;
    FormatSettings m_settings{m_home.settings, m_home.path() + "/data"};
    CodecManager m_codecs;
};

TEST_F(OutputWriterTest, EachFormatGivesItsWriterWithTheStoredShape) {
    SinkRef wav = OpenOutputWriter(path("a.wav"), m_settings.LoadRecordingFormat(), m_codecs, "");
    EXPECT_FALSE(wav->isUnusable());
    EXPECT_EQ(wav->sampleRate(), 44100);
    EXPECT_EQ(wav->channels(), 1);

    ASSERT_TRUE(m_settings.SaveWavFormat(m_codecs.Formats(1, 7)[3].format));  // mu-law stereo
    wav = OpenOutputWriter(path("b.wav"), m_settings.LoadRecordingFormat(), m_codecs, "");
    EXPECT_FALSE(wav->isUnusable());
    EXPECT_EQ(wav->channels(), 2);
    wav.reset();
    EXPECT_EQ(GetLe16(&test::ReadFileBytes(path("b.wav"))[20]), 7);

    m_settings.SetOutputFormat(OutputFormat::Aiff);
    m_settings.SaveAiffSettings({1, 22050, 8});
    SinkRef aiff = OpenOutputWriter(path("c.aif"), m_settings.LoadRecordingFormat(), m_codecs, "");
    EXPECT_EQ(aiff->sampleRate(), 22050);
    EXPECT_EQ(aiff->channels(), 1);
    aiff.reset();
    EXPECT_EQ(GetBe16(&test::ReadFileBytes(path("c.aif"))[26]), 8);

    m_settings.SetOutputFormat(OutputFormat::Mp3);
    EXPECT_TRUE(OpenOutputWriter(path("none.mp3"), m_settings.LoadRecordingFormat(), m_codecs, "")
                    ->isUnusable())
        << "no encoder component, no writer";
    if (const std::string lame = FindProgramOnPath("lame"); !lame.empty()) {
        SinkRef mp3 =
            OpenOutputWriter(path("d.mp3"), m_settings.LoadRecordingFormat(), m_codecs, lame);
        EXPECT_FALSE(mp3->isUnusable());
        EXPECT_EQ(mp3->sampleRate(), 44100);
        EXPECT_EQ(mp3->channels(), 2);
    }

    m_settings.SetOutputFormat(OutputFormat::Wav);
    EXPECT_TRUE(
        OpenOutputWriter(path("no/such/folder.wav"), m_settings.LoadRecordingFormat(), m_codecs, "")
            ->isUnusable());
}

TEST_F(OutputWriterTest, ZerosFromTheCommandLineFallBackToTheDefaults) {
    WaveFormat zeros = MakePcmWaveFormat(8000, 0, 0);
    ASSERT_TRUE(m_settings.SaveWavFormat(zeros));
    SinkRef wav = OpenOutputWriter(path("z.wav"), m_settings.LoadRecordingFormat(), m_codecs, "");
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

    m_settings.SetOutputFormat(OutputFormat::Aiff);
    m_settings.SaveAiffSettings({0, 0, 0});
    SinkRef aiff = OpenOutputWriter(path("z.aif"), m_settings.LoadRecordingFormat(), m_codecs, "");
    EXPECT_EQ(aiff->sampleRate(), 44100);
    EXPECT_EQ(aiff->channels(), 2);
    aiff.reset();
    EXPECT_EQ(GetBe16(&test::ReadFileBytes(path("z.aif"))[26]), 16);
}

TEST_F(OutputWriterTest, RatesNoDeviceCanRecordAreRefusedWithTheReasonAndNoFile) {
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
    EXPECT_FALSE(OpenOutputWriter(path("x/y.wav"), format, m_codecs, "")->isFormatRefused())
        << "a missing folder is a file problem, not a format one";
}

}  // namespace
}  // namespace sonaro
