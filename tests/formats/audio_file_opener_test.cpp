// Files not read directly go through the outside decoder into a temporary WAV file.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/audio_file_opener.h"
#include "formats/codec_manager.h"
#include "formats/open_error_message.h"
#include "formats/pcm_wav_writer.h"
#include "formats/temporary_wav_decoder.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/source_reading.h"
#include "support/temp_home.h"
#include "threads/event.h"

namespace sonaro {
namespace {

class AudioFileOpenerTest : public ::testing::Test {
  protected:
    AudioFileOpenerTest()
        : m_dir(test::MakeTempDir("opener")), m_temp(test::MakeTempDir("openertemp")) {
        m_options.decoderPath = "ffmpeg";
        m_options.temporaryFolder = m_temp;
        m_options.decodingStarted = [this](std::string_view title) {
            m_titles.emplace_back(title);
        };
        const auto pcm = test::SineFrames(5000, 2, 16000, 440.0, 8000.0);
        m_samples.resize(pcm.size());
        ConvertPcm16ToInternal(pcm.data(), m_samples.data(), static_cast<std::int64_t>(pcm.size()));
        PcmWavWriter writer(path("in.wav"), 16000, 2, PcmSampleType::Signed16);
        writer.Write(m_samples.data(), 5000);
    }
    ~AudioFileOpenerTest() override {
        test::RemoveTree(m_dir);
        test::RemoveTree(m_temp);
    }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    void convert(const std::vector<std::string>& soxArgs, const std::string& out) {
        std::vector<std::string> argv = {"sox", path("in.wav")};
        argv.insert(argv.end(), soxArgs.begin(), soxArgs.end());
        argv.push_back(path(out));
        bool ok = false;
        test::RunForOutput(argv, ok);
        ASSERT_TRUE(ok) << "sox made " << out;
    }

    // ALAC in MP4, a lossless format read only through the decoder.
    void makeAlac(const std::string& out) {
        bool ok = false;
        test::RunForOutput(
            {"ffmpeg", "-v", "error", "-i", path("in.wav"), "-c:a", "alac", path(out)}, ok);
        ASSERT_TRUE(ok) << "ffmpeg made " << out;
    }

    std::string m_dir;
    std::string m_temp;
    AudioOpenOptions m_options;
    std::vector<std::string> m_titles;
    std::vector<InternalSample> m_samples;
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
    convert({"-e", "gsm-full-rate", "-r", "8000", "-c", "1"}, "gsm.au");
    std::filesystem::rename(path("gsm.au"), path("odd.wav"));
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
}

TEST_F(AudioFileOpenerTest, FifosAndMissingFilesNeverReachTheDecoder) {
    ASSERT_EQ(::mkfifo(path("pipe.ogg").c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    const OpenedAudio fifo = OpenAudioFile(path("pipe.ogg"), m_options);
    EXPECT_EQ(fifo.source->status(), SourceStatus::CannotOpen);
    EXPECT_EQ(OpenAudioFile(path("gone.ogg"), m_options).source->status(),
              SourceStatus::CannotOpen);
    EXPECT_EQ(OpenAudioFile(path("gone.wav"), m_options).source->status(),
              SourceStatus::CannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(m_titles.empty());
}

TEST_F(AudioFileOpenerTest, ASetStopEventCancelsTheDecoding) {
    makeAlac("a.m4a");
    Event stop(true);
    m_options.stop = &stop;
    const OpenedAudio cancelled = OpenAudioFile(path("a.m4a"), m_options);
    EXPECT_EQ(cancelled.result, OpenResult::Cancelled);
    EXPECT_TRUE(cancelled.source->isUnusable());
}

TEST_F(AudioFileOpenerTest, ThePrompterShowsTheDecodingAndItsCancelStopsIt) {
    makeAlac("a.m4a");
    test::ManualDispatcher dispatcher;
    test::ScriptedPrompter prompter(&dispatcher);
    m_options.prompter = &prompter;
    m_options.dispatcher = &dispatcher;
    const OpenedAudio opened = OpenAudioFile(path("a.m4a"), m_options);
    ASSERT_FALSE(opened.source->isUnusable()) << opened.decoderError;
    EXPECT_EQ(prompter.progressTitles(), std::vector<std::string>{"Loading file"});

    prompter.cancelWhen = [] { return true; };
    EXPECT_EQ(OpenAudioFile(path("a.m4a"), m_options).result, OpenResult::Cancelled);
}

// A decoder that starts its output file, then fails or never ends.
TEST_F(AudioFileOpenerTest, AFailedOrCancelledDecodingLeavesNoTemporaryFile) {
    makeAlac("a.m4a");
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
}

TEST_F(AudioFileOpenerTest, TemporaryNamesSkipFilesThatCannotBeDeleted) {
    ASSERT_EQ(::mkdir((m_temp + "/Temp1.wav").c_str(), 0700), 0);
    test::WriteFileBytes(m_temp + "/Temp1.wav/keep", {1});
    test::WriteFileBytes(m_temp + "/Temp2.wav", {1});
    EXPECT_EQ(ChooseTemporaryWavPath(m_temp), m_temp + "/Temp2.wav");
    EXPECT_FALSE(std::filesystem::exists(m_temp + "/Temp2.wav"));
    EXPECT_EQ(DecodingTitle(".rm"), "Loading RealAudio file");
    EXPECT_EQ(DecodingTitle(".amr"), "Loading AMR file");
    EXPECT_EQ(DecodingTitle(".opus"), "Loading with DirectX");
    EXPECT_EQ(DecodingTitle(".dct"), "Loading DCT file");
    EXPECT_EQ(DecodingTitle(".dart"), "Loading PC Dart file");
    EXPECT_EQ(DecodingTitle(".spx"), "Loading file");
    EXPECT_EQ(DecodingTitle(".wma"), "Loading WMA file");
    EXPECT_EQ(DecodingTitle(".dss"), "Loading DSS file");
    EXPECT_EQ(DecodingTitle(".dvs"), "Loading DVS file");
    EXPECT_EQ(DecodingTitle(".sri"), "Loading SRI file");
    EXPECT_EQ(DecodingTitle(".cda"), "Loading CD Track");
}

}  // namespace
}  // namespace sonaro
