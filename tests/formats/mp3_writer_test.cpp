// The MP3 writer: the encoder's command line, the real lame fed through the pipe (checked with
// mpg123), and the encoder's end: reaped even when it outlives the writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "audio/audio_samples.h"
#include "formats/mp3_writer.h"
#include "support/audio_files.h"
#include "support/signal.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

// The options between the encoder path and the output path, joined by blanks.
std::string options(const Mp3Settings& settings, int rate, int channels) {
    const auto args = BuildMp3EncoderArguments("/opt/enc", settings, rate, channels, "/o.mp3");
    EXPECT_EQ(args.front(), "/opt/enc");
    EXPECT_EQ(args.back(), "/o.mp3");
    std::string joined;
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        joined += (i > 1 ? " " : "") + args[i];
    }
    return joined;
}

TEST(Mp3Options, CommandLinesForTheDefaultsVariableRateAndLowBitRates) {
    const Mp3Settings defaults;
    EXPECT_EQ(ChooseMp3SampleRate(44100, defaults), 44100);
    EXPECT_EQ(ChooseMp3Channels(2, defaults), 2);
    EXPECT_EQ(options(defaults, 44100, 2), "-m j -b 128 -h -r -x -s 44.100 -S -");

    Mp3Settings vbr;
    vbr.constantBitRate = false;
    vbr.channelMode = 3;
    EXPECT_EQ(options(vbr, ChooseMp3SampleRate(44100, vbr), ChooseMp3Channels(2, vbr)),
              "-a -m m -v -b 32 -B 128 -V 4 -r -x -s 44.100 -S -");

    Mp3Settings low;
    low.cbrBitRate = 16;
    low.errorProtection = true;
    low.highQuality = false;
    EXPECT_EQ(ChooseMp3SampleRate(44100, low), 22050);
    EXPECT_EQ(ChooseMp3Channels(2, low), 1);
    EXPECT_EQ(options(low, 22050, 1), "-m m -p -b 16 -r -x -s 22.050 -S -");

    Mp3Settings outOfRange;
    outOfRange.channelMode = 9;
    EXPECT_EQ(options(outOfRange, 44100, 2), "-m j -b 128 -h -r -x -s 44.100 -S -");
}

TEST(Mp3Options, SampleRateChoice) {
    Mp3Settings s;
    const std::pair<int, int> cases[] = {
        {96000, 48000}, {47999, 44100}, {32001, 44100}, {32000, 32000}, {24001, 32000},
        {24000, 24000}, {23999, 22050}, {16001, 22050}, {16000, 16000}, {15999, 11025},
        {8001, 11025},  {8000, 8000},   {7999, 8000}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(ChooseMp3SampleRate(in, s), out) << in;
    }
    s.cbrBitRate = 192;
    EXPECT_EQ(ChooseMp3SampleRate(22050, s), 44100);
    s.constantBitRate = false;
    s.vbrMinBitRate = 24;
    s.vbrMaxBitRate = 128;
    EXPECT_EQ(ChooseMp3SampleRate(48000, s), 22050);
    EXPECT_EQ(ChooseMp3Channels(2, s), 2);
}

class Mp3WriterTest : public ::testing::Test {
  protected:
    std::string script(const char* name, const char* body) const {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    const test::TempDir m_dir{"mp3"};
};

std::vector<InternalSample> channelOf(const std::vector<std::int16_t>& stereo, int channel) {
    std::vector<InternalSample> result;
    for (std::size_t i = static_cast<std::size_t>(channel); i < stereo.size(); i += 2) {
        result.push_back(ToInternalSample(stereo[i]));
    }
    return result;
}

TEST_F(Mp3WriterTest, LameEncodesTheToneAtItsFrequencyAndLevel) {
    if (FindProgramOnPath("lame").empty()) {
        GTEST_SKIP() << "lame is not installed";
    }
    const std::string file = m_dir + "/tone.mp3";
    {
        SinkRef writer = CreateMp3Writer(FindProgramOnPath("lame"), file, Mp3Settings(), 44100, 2);
        ASSERT_FALSE(writer->isUnusable());
        ASSERT_EQ(writer->sampleRate(), 44100);
        // Opposite signs on the two channels, so that swapped bytes or mixed channels show.
        const auto tone = test::MakeSine(440, 0.5, 44100, 2 * 44100, 2, {1, -1});
        test::WriteAll(*writer, tone, 4096);
        EXPECT_EQ(writer->WriteError(), "");
    }
    bool ok = false;
    const auto raw = test::RunForOutput({"mpg123", "-q", "-s", file}, ok);
    ASSERT_TRUE(ok);
    std::vector<std::int16_t> decoded(raw.size() / 2);
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        decoded[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    }
    ASSERT_GT(decoded.size(), 2u * 44100 * 2 * 9 / 10);
    const auto left = channelOf(decoded, 0);
    const auto right = channelOf(decoded, 1);
    EXPECT_NEAR(test::DominantFrequency(left, 44100, 100, 2000, 10), 440, 5);
    EXPECT_NEAR(test::AmplitudeToDb(test::ToneAmplitude(left, 440, 44100)),
                test::AmplitudeToDb(0.5), 1.0);
    EXPECT_NEAR(test::AmplitudeToDb(test::ToneAmplitude(right, 440, 44100)),
                test::AmplitudeToDb(0.5), 1.0);
    double product = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        product += static_cast<double>(left[i]) * right[i];
    }
    EXPECT_LT(product, 0) << "the channels should be in opposite phase";
}

TEST_F(Mp3WriterTest, AnEncoderThatOutlivesTheWaitIsReapedWhenItEnds) {
    const std::string encoder = script("slow", "cat >/dev/null; sleep 1");
    int pid = 0;
    {
        Mp3Writer writer(m_dir + "/slow.mp3", {encoder}, 44100, 2, 50);
        ASSERT_FALSE(writer.isUnusable());
        pid = writer.encoderPid();
        const std::vector<InternalSample> silence(2 * 1000, 0);
        writer.Write(silence.data(), 1000);
    }
    const std::string proc = "/proc/" + std::to_string(pid);
    EXPECT_EQ(::access(proc.c_str(), F_OK), 0) << "the encoder should still be finishing";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::access(proc.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(::access(proc.c_str(), F_OK), 0) << "the encoder was left as a zombie";
}

TEST_F(Mp3WriterTest, AnEncoderThatStopsIsReportedAndAMissingOneGivesNoWriter) {
    const std::string encoder = script("crash", "exit 3");
    Mp3Writer writer(m_dir + "/crash.mp3", {encoder}, 44100, 2);
    const std::vector<InternalSample> block(2 * kMaxBlockFrames, 0);
    for (int i = 0; i < 100 && writer.WriteError().empty(); ++i) {
        writer.Write(block.data(), kMaxBlockFrames);
    }
    EXPECT_THAT(writer.WriteError(), testing::HasSubstr("The MP3 encoder stopped"));

    Mp3Writer notStarted(m_dir + "/none.mp3", {m_dir + "/nothing"}, 44100, 2);
    EXPECT_TRUE(notStarted.isUnusable());

    const SinkRef none = CreateMp3Writer("", m_dir + "/x.mp3", Mp3Settings(), 44100, 2);
    EXPECT_TRUE(none->isUnusable()) << "no encoder component, no writer";
    if (!FindProgramOnPath("lame").empty()) {
        EXPECT_TRUE(CreateMp3Writer(FindProgramOnPath("lame"), m_dir + "/no/folder.mp3",
                                    Mp3Settings(), 44100, 2)
                        ->isUnusable());
    }
}

TEST_F(Mp3WriterTest, NoEmptyFileRemainsWhenTheEncoderFailsBeforeWriting) {
    const std::string file = m_dir + "/take.mp3";
    for (const std::string& encoder : {m_dir + "/nothing", script("quits", "exit 3")}) {
        {
            SinkRef writer = CreateMp3Writer(encoder, file, Mp3Settings(), 44100, 2);
            ASSERT_EQ(::access(file.c_str(), F_OK), 0) << "created before the encoder starts";
            const std::vector<InternalSample> block(2 * kMaxBlockFrames, 0);
            for (int i = 0; i < 100 && writer->WriteError().empty(); ++i) {
                writer->Write(block.data(), kMaxBlockFrames);
            }
        }
        EXPECT_NE(::access(file.c_str(), F_OK), 0) << encoder;
    }
    // What an encoder wrote stays, even when it then fails.
    const std::string writes =
        script("writes", "for a; do out=$a; done; printf ID3 > \"$out\"; exit 3");
    { SinkRef writer = CreateMp3Writer(writes, file, Mp3Settings(), 44100, 2); }
    EXPECT_EQ(test::ReadTextFile(file), "ID3");
}

}  // namespace
}  // namespace sonaro
