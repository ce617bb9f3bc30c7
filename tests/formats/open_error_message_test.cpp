#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formats/codec_manager.h"
#include "formats/open_error_message.h"
#include "formats/pcm_wav_writer.h"
#include "formats/wav_reader.h"
#include "support/audio_files.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

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
    EXPECT_EQ(message("/r/a.flac", SourceStatus::NotSupported),
              "Cannot open the file \"/r/a.flac\". It is possible the file format is not supported "
              "by this program.\n\nhttps://example.org/formats");
    EXPECT_EQ(message("/r/a.aiff", SourceStatus::Corrupt),
              "Cannot open the file \"/r/a.aiff\" because it is corrupt.");
    EXPECT_THAT(message("/r/a.wma", SourceStatus::NotSupported),
                testing::HasSubstr("Digital Rights Management"));
    EXPECT_THAT(message("/r/a.dvf", SourceStatus::NotSupported), testing::HasSubstr("plugin"));
    EXPECT_THAT(message("/r/a.mid", SourceStatus::NotSupported), testing::HasSubstr("MIDI"));
}

TEST(OpenErrorMessageTest, ShowsTheMessageInAnErrorBox) {
    test::ScriptedPrompter prompter;
    OpenErrorFacts facts;
    facts.path = "/r/a.aif";
    facts.status = SourceStatus::Corrupt;
    ShowOpenError(prompter, facts, CodecManager());
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, "Cannot open the file \"/r/a.aif\" because it is corrupt.");
    EXPECT_EQ(prompter.shown()[0].icon, PromptIcon::Error);
}

TEST(OpenErrorMessageTest, TheWavFormatTagIsReadForTheMessage) {
    const std::string dir = test::MakeTempDir("tag");
    { PcmWavWriter writer(dir + "/a.wav", 8000, 1, PcmSampleType::Float32); }
    EXPECT_EQ(ReadWavFormatTag(dir + "/a.wav"), 3);
    test::WriteFileBytes(dir + "/b.wav", {'R', 'I', 'F', 'F'});
    EXPECT_EQ(ReadWavFormatTag(dir + "/b.wav"), std::nullopt);
    EXPECT_EQ(ReadWavFormatTag(dir + "/none.wav"), std::nullopt);
    test::RemoveTree(dir);
}

}  // namespace
}  // namespace sonaro
