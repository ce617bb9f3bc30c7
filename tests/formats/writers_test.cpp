// The writers on disk: WAV, GSM WAV and AIFF header bytes while open and after close, trimming,
// sizes past 4 GiB and a full disk; the MP3 encoder's command line and its end, reaped even when
// it outlives the writer and reported when it fails; recordings cut off while being written, which
// the writers' checkpoints keep decodable (a power loss copies whatever reached the disk) and
// RepairRecording completes, and the journal that lists what the next start repairs. What the
// writers write is read back in readers_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/aiff_header.h"
#include "formats/aiff_writer.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/flac_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/opus_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/recording_journal.h"
#include "formats/recording_repair.h"
#include "formats/wav_header.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadFileBytes;

Bytes head(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(std::min(count, bytes.size())));
}

class WriterTest : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_dir + "/" + name; }
    const test::TempDir m_dir{"writers"};
};

TEST_F(WriterTest, OneSecondOfCdAudioAsWavHasTheExactLayout) {
    const auto samples = test::RandomSamples(2 * 44100);
    const std::string file = path("cd.wav");
    {
        PcmWavWriter writer(file, 44100, 2, PcmSampleType::Signed16);
        ASSERT_FALSE(writer.isUnusable());
        writer.Write(samples.data(), 3000);
        const auto started = ReadFileBytes(file);
        // Before the first checkpoint: sizes that mark the file open.
        EXPECT_EQ(GetLe32(&started[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLe32(&started[42]), 0xFFFFFFD9u);
        test::WriteAll(writer, {samples.begin() + 6000, samples.end()}, 4410);
        const auto open = ReadFileBytes(file);
        // The checkpoint after one second names its data; the RIFF size still marks it open.
        EXPECT_EQ(GetLe32(&open[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLe32(&open[42]), 176400u);
        EXPECT_EQ(writer.position(), 44100);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 176446u);
    EXPECT_EQ(head(bytes, 46),
              (Bytes{'R',  'I',  'F', 'F', 0x36, 0xB1, 0x02, 0,    'W',  'A', 'V', 'E',
                     'f',  'm',  't', ' ', 18,   0,    0,    0,    1,    0,   2,   0,
                     0x44, 0xAC, 0,   0,   0x10, 0xB1, 0x02, 0,    4,    0,   16,  0,
                     0,    0,    'd', 'a', 't',  'a',  0x10, 0xB1, 0x02, 0}));
    // The samples after the checkpoint follow those before it.
    EXPECT_EQ(test::DecodeWithSox(file), test::Pcm16Of(samples));
}

TEST_F(WriterTest, OneSecondOfCdAudioAsAiffHasTheExactLayout) {
    const auto samples = test::RandomSamples(2 * 44100);
    const std::string file = path("cd.aif");
    {
        SinkRef writer = CreateAiffWriter(file, 44100, 2, 16);
        ASSERT_FALSE(writer->isUnusable());
        writer->Write(samples.data(), 3000);
        const auto started = ReadFileBytes(file);
        // Before the first checkpoint: no frames, and an SSND size that marks the file open.
        EXPECT_EQ(GetBe32(&started[22]), 0u);
        EXPECT_EQ(GetBe32(&started[42]), 0xFFFFFFFFu);
        test::WriteAll(*writer, {samples.begin() + 6000, samples.end()}, 8192);
        // The checkpoint after one second counts its frames behind the open-state FORM size.
        const auto open = ReadFileBytes(file);
        EXPECT_EQ(GetBe32(&open[4]), 46u);
        EXPECT_EQ(GetBe32(&open[22]), 44100u);
        EXPECT_EQ(GetBe32(&open[42]), 176408u);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 176454u);
    EXPECT_EQ(head(bytes, 54),
              (Bytes{'F',  'O',  'R',  'M',  0, 0x02, 0xB1, 0x3E, 'A', 'I', 'F',  'F',  'C', 'O',
                     'M',  'M',  0,    0,    0, 18,   0,    2,    0,   0,   0xAC, 0x44, 0,   16,
                     0x40, 0x0E, 0xAC, 0x44, 0, 0,    0,    0,    0,   0,   'S',  'S',  'N', 'D',
                     0,    0x02, 0xB1, 0x18, 0, 0,    0,    0,    0,   0,   0,    0}));
    EXPECT_EQ(test::DecodeWithSox(file), test::Pcm16Of(samples));
}

TEST_F(WriterTest, SeekToCutsTheFileAndWritingGoesOnFromThere) {
    const auto samples = test::RandomSamples(1000, 3);
    const std::string file = path("trim.wav");
    {
        PcmWavWriter writer(file, 8000, 1, PcmSampleType::Signed16);
        writer.Write(samples.data(), 600);
        writer.SeekTo(700);  // beyond the end: ignored
        EXPECT_EQ(writer.position(), 600);
        writer.SeekTo(200);
        EXPECT_EQ(ReadFileBytes(file).size(), 46u + 400);
        writer.Write(&samples[600], 400);
        EXPECT_EQ(writer.position(), 600);
    }
    std::vector<std::int16_t> expected;
    for (std::size_t i = 0; i < 1000; ++i) {
        if (i < 200 || i >= 600) {
            expected.push_back(ToPcm16(samples[i]));
        }
    }
    EXPECT_EQ(test::DecodeWithSox(file), expected);

    {
        PcmWavWriter writer(file, 8000, 1, PcmSampleType::Signed16);
        writer.Write(samples.data(), 1000);
        writer.SeekTo(-5);
        EXPECT_EQ(writer.position(), 0);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(GetLe32(&bytes[4]), 38u);
    EXPECT_EQ(GetLe32(&bytes[42]), 0u);
}

TEST_F(WriterTest, AiffEightBitSamplesSaturateAndTrim) {
    const std::string file = path("eight.aif");
    const std::vector<InternalSample> samples = {2048, -4096, 524287, -524288, 4095, 100000};
    {
        AiffWriter writer(file, 8000, 1, 8);
        writer.Write(samples.data(), 6);
        writer.SeekTo(5);
    }
    auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 54u + 5);
    EXPECT_EQ(GetBe16(&bytes[26]), 8);
    // The top sample saturates instead of wrapping to the bottom.
    EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.end()), (Bytes{0x00, 0xFF, 0x7F, 0x80, 0x01}));
    EXPECT_EQ(Bytes(&bytes[28], &bytes[32]), (Bytes{0x40, 0x0B, 0xFA, 0x00}));

    {
        AiffWriter writer(file, 8000, 2, 16);
        writer.Write(samples.data(), 3);
        writer.SeekTo(0);
    }
    bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_EQ(GetBe32(&bytes[22]), 0u);
    EXPECT_EQ(GetBe32(&bytes[4]), 46u);
    EXPECT_EQ(GetBe32(&bytes[42]), 8u);
}

TEST_F(WriterTest, AnEarlierFileOfTheSameNameIsReplaced) {
    const std::string file = path("again.wav");
    test::WriteFileBytes(file, Bytes(100000, 0xAB));
    const auto samples = test::RandomSamples(10, 4);
    PcmWavWriter(file, 8000, 1, PcmSampleType::Signed16).Write(samples.data(), 10);
    EXPECT_EQ(ReadFileBytes(file).size(), 66u);
}

TEST_F(WriterTest, AFileThatCannotBeCreatedGivesAnUnusableWriterThatSaysWhy) {
    PcmWavWriter writer(path("missing/folder.wav"), 8000, 1, PcmSampleType::Signed16);
    EXPECT_TRUE(writer.isUnusable());
    EXPECT_THAT(writer.WriteError(), testing::HasSubstr("No such file or directory"));
    const auto samples = test::RandomSamples(10);
    writer.Write(samples.data(), 10);
    EXPECT_EQ(writer.position(), 10);

    EXPECT_TRUE(PcmWavWriter(path("none.wav"), 8000, 0, PcmSampleType::Signed16).isUnusable());
    EXPECT_TRUE(PcmWavWriter(path("none.wav"), 0, 1, PcmSampleType::Signed16).isUnusable());
}

TEST_F(WriterTest, GsmHasItsHeaderAndPadsTheLastBlock) {
    const std::string file = path("short.wav");
    {
        GsmWavWriter writer(file, 11025);
        const auto open = ReadFileBytes(file);
        EXPECT_EQ(GetLe32(&open[4]), 0xFFFFFFFFu);
        EXPECT_EQ(GetLe32(&open[44]), 0xFFFFFFD7u);
        writer.Write(test::RandomSamples(100).data(), 100);
    }
    const auto bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 48u + 65);
    // 11025 × 65 / 320 bytes a second, rounded down.
    EXPECT_EQ(
        head(bytes, 48),
        (Bytes{'R', 'I', 'F', 'F', 105,  0, 0,    0, 'W',  'A',  'V', 'E', 'f',  'm',  't', ' ',
               20,  0,   0,   0,   0x31, 0, 1,    0, 0x11, 0x2B, 0,   0,   0xBF, 0x08, 0,   0,
               65,  0,   0,   0,   2,    0, 0x40, 1, 'd',  'a',  't', 'a', 65,   0,    0,   0}));
}

TEST(HeaderTest, SizesPastFourGibibytesReadUnknownInsteadOfWrapping) {
    std::uint8_t wav[kPcmWavHeaderBytes];
    EncodePcmWavHeader(1, 2, 44100, 16, 0xFFFFFFFFull - 38, wav);
    EXPECT_EQ(GetLe32(wav + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(wav + 42), 0xFFFFFFD9u);
    // Sixty hours of CD audio: 38 GB.
    EncodePcmWavHeader(1, 2, 44100, 16, 60ull * 3600 * 176400, wav);
    EXPECT_EQ(GetLe32(wav + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(wav + 42), 0xFFFFFFFFu);
    EncodePcmWavHeader(1, 2, 44100, 16, 0xFFFFFFFFull - 37, wav);
    EXPECT_EQ(GetLe32(wav + 42), 0xFFFFFFFFu);

    std::uint8_t aiff[kAiffHeaderBytes];
    EncodeAiffHeader(1, 8, 8000, 0x100000000ull, aiff);
    EXPECT_EQ(GetBe32(aiff + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetBe32(aiff + 22), 0xFFFFFFFFu);
    EXPECT_EQ(GetBe32(aiff + 42), 0xFFFFFFFFu);
}

// A WAV file past 4 GiB: the header's sizes read "unknown length" (0xFFFFFFFF) instead of
// wrapping, and a reader that honours it (ffmpeg) reads every sample up to the last one.
// Writes about 4.3 GB; skipped when the temporary folder has less than 6 GB free.
TEST(LargeWavFile, PastFourGibibytesTheSizesReadUnknownAndEverySampleIsRead) {
    const test::TempDir dir("large");
    struct statvfs disk {};
    if (::statvfs(dir.c_str(), &disk) != 0 ||
        static_cast<double>(disk.f_bavail) * disk.f_frsize < 6e9) {
        GTEST_SKIP() << "less than 6 GB free in " << dir;
    }
    // 32-bit stereo: 8 bytes per frame. One block more than fits below 4 GiB, then a marker.
    const std::int64_t blocks = (0x100000000ll - 46) / (8 * kMaxBlockFrames) + 1;
    std::vector<InternalSample> block(2 * kMaxBlockFrames, 1000);
    std::vector<InternalSample> marker(2 * kMaxBlockFrames);
    for (std::size_t i = 0; i < marker.size(); ++i) {
        marker[i] = static_cast<InternalSample>(i) - 8192;
    }
    const std::string file = dir + "/long.wav";
    {
        PcmWavWriter writer(file, 44100, 2, PcmSampleType::Signed32);
        for (std::int64_t b = 0; b < blocks; ++b) {
            writer.Write(block.data(), kMaxBlockFrames);
        }
        writer.Write(marker.data(), kMaxBlockFrames);
        ASSERT_EQ(writer.WriteError(), "");
    }
    std::uint8_t header[46];
    FILE* in = std::fopen(file.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(std::fread(header, 1, sizeof header, in), sizeof header);
    std::fclose(in);
    EXPECT_EQ(GetLe32(header + 4), 0xFFFFFFFFu);
    EXPECT_EQ(GetLe32(header + 42), 0xFFFFFFFFu);

    // ffmpeg decodes the whole file and gives what follows the blocks: exactly the marker.
    bool ok = false;
    const auto tail = test::RunForOutput(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-af",
         "atrim=start_sample=" + std::to_string(blocks * kMaxBlockFrames), "-f", "s32le", "-"},
        ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(tail.size(), marker.size() * 4);
    for (std::size_t i = 0; i < marker.size(); ++i) {
        ASSERT_EQ(static_cast<std::int32_t>(GetLe32(&tail[4 * i])), marker[i] * 4096) << i;
    }
}

// Writers on a full disk: a tiny tmpfs mount (needs root or CAP_SYS_ADMIN; skipped otherwise).
// Each writer must report the failure and leave a file whose header matches the data in it.
class DiskFullTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = test::MakeTempDir("full");
        if (::mount("tmpfs", m_dir.c_str(), "tmpfs", 0, "size=64k") != 0) {
            const int error = errno;
            test::RemoveTree(m_dir);
            m_dir.clear();
            GTEST_SKIP() << "cannot mount a tmpfs for the disk-full test (" << std::strerror(error)
                         << "); run as root to include it";
        }
    }
    void TearDown() override {
        if (!m_dir.empty()) {
            ::umount(m_dir.c_str());
            test::RemoveTree(m_dir);
        }
    }

    // Writes a 440 Hz tone into the sink until it reports a write error (at most 10 MB).
    std::vector<InternalSample> fillUp(AudioSink& sink) {
        const auto block =
            test::InternalOf(test::SineFrames(1000, sink.channels(), 8000, 440, 10000));
        std::vector<InternalSample> written;
        for (int i = 0; i < 2000 && sink.WriteError().empty(); ++i) {
            sink.Write(block.data(), 1000);
            written.insert(written.end(), block.begin(), block.end());
        }
        EXPECT_THAT(sink.WriteError(), testing::HasSubstr("No space left on device"));
        return written;
    }

    std::string m_dir;
};

TEST_F(DiskFullTest, PcmAndAiffKeepAnExactPrefixWithAMatchingHeader) {
    const std::string wav = m_dir + "/full.wav";
    std::vector<InternalSample> written;
    {
        PcmWavWriter writer(wav, 8000, 2, PcmSampleType::Signed24);
        written = fillUp(writer);
    }
    auto bytes = ReadFileBytes(wav);
    ASSERT_GT(bytes.size(), 46u);
    EXPECT_EQ(GetLe32(&bytes[42]), bytes.size() - 46);
    EXPECT_EQ(GetLe32(&bytes[4]), bytes.size() - 8);
    EXPECT_EQ((bytes.size() - 46) % 6, 0u);
    const auto decoded = test::DecodeWithSox32(wav);
    ASSERT_EQ(decoded.size(), (bytes.size() - 46) / 3);
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        ASSERT_EQ(decoded[i], written[i] * 4096) << i;
    }
    ::unlink(wav.c_str());

    const std::string aiff = m_dir + "/full.aif";
    {
        AiffWriter writer(aiff, 8000, 1, 16);
        fillUp(writer);
    }
    bytes = ReadFileBytes(aiff);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(GetBe32(&bytes[42]), bytes.size() - 46);
    EXPECT_EQ(GetBe32(&bytes[22]), (bytes.size() - 54) / 2);
    EXPECT_EQ(test::DecodeWithSox(aiff).size(), (bytes.size() - 54) / 2);
}

TEST_F(DiskFullTest, BlockWritersCountOnlyWholeBlocks) {
    const auto fillAndCheck = [&](SinkRef writer, const std::string& file, std::size_t blockBytes,
                                  std::size_t blockFrames) {
        SCOPED_TRACE(file);
        fillUp(*writer);
        writer.reset();
        const auto bytes = ReadFileBytes(file);
        ASSERT_GT(bytes.size(), 48u);
        EXPECT_EQ(GetLe32(&bytes[44]), bytes.size() - 48);
        EXPECT_EQ((bytes.size() - 48) % blockBytes, 0u);
        EXPECT_EQ(test::DecodeWithSox(file).size(), (bytes.size() - 48) / blockBytes * blockFrames);
        ::unlink(file.c_str());
    };
    const std::string gsm = m_dir + "/full-gsm.wav";
    fillAndCheck(MakeSink<GsmWavWriter>(gsm, 8000), gsm, 65, 320);
    const CodecManager codecs;
    const WaveFormat ima = codecs.Formats(2, 0x11).front().format;
    const std::string compressed = m_dir + "/full-ima.wav";
    fillAndCheck(MakeSink<CompressedWavWriter>(compressed, ima, codecs), compressed, ima.blockAlign,
                 505);
}

// ---- MP3 ----

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

class Mp3WriterTest : public WriterTest {
  protected:
    std::string script(const char* name, const char* body) const {
        const std::string file = path(name);
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        ::chmod(file.c_str(), 0755);
        return file;
    }
};

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

TEST_F(Mp3WriterTest, AFailingEncoderIsReportedAndLeavesNoEmptyFile) {
    const std::string file = m_dir + "/take.mp3";
    const std::string missing = m_dir + "/nothing";
    for (const std::string& encoder : {missing, script("quits", "exit 3")}) {
        {
            SinkRef writer = CreateMp3Writer(encoder, file, Mp3Settings(), 44100, 2);
            ASSERT_EQ(::access(file.c_str(), F_OK), 0) << "created before the encoder starts";
            const std::vector<InternalSample> block(2 * kMaxBlockFrames, 0);
            for (int i = 0; i < 100 && writer->WriteError().empty(); ++i) {
                writer->Write(block.data(), kMaxBlockFrames);
            }
            if (encoder == missing) {
                EXPECT_TRUE(writer->isUnusable());
            } else {
                EXPECT_THAT(writer->WriteError(), testing::HasSubstr("The MP3 encoder stopped"));
            }
        }
        EXPECT_NE(::access(file.c_str(), F_OK), 0) << encoder;
    }
    // What an encoder wrote stays, even when it then fails.
    const std::string writes =
        script("writes", "for a; do out=$a; done; printf ID3 > \"$out\"; exit 3");
    { SinkRef writer = CreateMp3Writer(writes, file, Mp3Settings(), 44100, 2); }
    EXPECT_EQ(test::ReadTextFile(file), "ID3");

    if (!FindProgramOnPath("lame").empty()) {
        EXPECT_TRUE(CreateMp3Writer(FindProgramOnPath("lame"), m_dir + "/no/folder.mp3",
                                    Mp3Settings(), 44100, 2)
                        ->isUnusable());
    }
}

// ---- Recordings cut off ----

constexpr int kRate = 8000;
constexpr int kChannels = 2;

struct WriterCase {
    const char* name;
    const char* extension;
    std::function<SinkRef(const std::string&)> open;
    bool lossless;
    // Frames a decoder may lack behind the last checkpoint: what the encoder still holds (Opus:
    // its page delay, its pre-skip and a frame).
    int heldFrames;
};

const std::vector<WriterCase>& writerCases() {
    static const std::vector<WriterCase> cases = {
        {"wav", ".wav",
         [](const std::string& path) {
             return MakeSink<PcmWavWriter>(path, kRate, kChannels, PcmSampleType::Signed16);
         },
         true, 0},
        {"aiff", ".aif",
         [](const std::string& path) { return CreateAiffWriter(path, kRate, kChannels, 16); }, true,
         0},
        {"flac", ".flac",
         [](const std::string& path) {
             return MakeSink<FlacWriter>(path, kRate, kChannels, 16, 5);
         },
         true, 4608},
        {"opus", ".opus",
         [](const std::string& path) { return MakeSink<OpusWriter>(path, kChannels, 64, true, 5); },
         false, OpusWriter::kSampleRate * 6 / 10},
    };
    return cases;
}

// The decoded length in frames of a file, -1 when it does not decode.
long long decodedFrames(const std::string& path, bool withSox) {
    const auto pcm = withSox ? test::DecodeWithSox(path) : test::DecodeWithFfmpeg(path);
    return pcm.empty() ? -1 : static_cast<long long>(pcm.size() / kChannels);
}

class RecordingRepairTest : public ::testing::TestWithParam<WriterCase> {
  protected:
    std::string path(const std::string& name) const {
        return m_dir + "/" + name + GetParam().extension;
    }
    const test::TempDir m_dir{"repair"};
};

// Copies taken at several moments of a recording, some cut inside a frame as a power loss cuts,
// decode as they are with everything up to the last checkpoint, and repair to every whole frame
// on disk.
TEST_P(RecordingRepairTest, FilesCutOffWhileWrittenDecodeAndRepairToWhatIsOnDisk) {
    const WriterCase& format = GetParam();
    const int rate = format.lossless ? kRate : OpusWriter::kSampleRate;
    const auto samples = test::InternalOf(test::SineFrames(4 * rate, kChannels, rate, 440, 9000));
    const std::string live = path("live");
    SinkRef writer = format.open(live);
    ASSERT_FALSE(writer->isUnusable()) << writer->WriteError();
    int copies = 0;
    for (int written = 0; written < 4 * rate; written += rate / 10) {
        writer->Write(&samples[static_cast<std::size_t>(written) * kChannels], rate / 10);
        const int total = written + rate / 10;
        // Moments between checkpoints, right after one (2 s) and near the end.
        if (total % (rate * 13 / 10) != 0 && total != 2 * rate && total != 4 * rate - rate / 10) {
            continue;
        }
        auto bytes = test::ReadFileBytes(live);
        for (const std::size_t cut : {std::size_t{0}, std::size_t{3}}) {
            const std::string copy = path("copy" + std::to_string(copies++));
            test::WriteFileBytes(copy, {bytes.begin(), bytes.end() - static_cast<long>(cut)});
            // A cut takes the frame (or the encoder block, the Ogg page) it falls in.
            const long long checkpointed = total / rate * rate - format.heldFrames -
                                           (cut > 0 ? std::max(1, format.heldFrames) : 0);
            const long long asCopied = decodedFrames(copy, format.lossless);
            EXPECT_GE(asCopied, checkpointed) << copy;

            const RepairResult repair = RepairRecording(copy);
            ASSERT_NE(repair.outcome, RepairOutcome::Failed) << repair.reason;
            EXPECT_EQ(RepairRecording(copy).outcome, RepairOutcome::Intact);
            if (!format.lossless) {
                continue;
            }
            EXPECT_EQ(repair.outcome, RepairOutcome::Repaired);
            const auto decoded = test::DecodeWithSox(copy);
            EXPECT_GE(static_cast<long long>(decoded.size() / kChannels), checkpointed) << copy;
            ASSERT_LE(decoded.size(), samples.size());
            EXPECT_EQ(decoded, test::Pcm16Of({samples.begin(),
                                              samples.begin() + static_cast<long>(decoded.size())}))
                << copy;
            EXPECT_EQ(decodedFrames(copy, false),
                      static_cast<long long>(decoded.size() / kChannels));
        }
    }
    writer.reset();
    EXPECT_EQ(RepairRecording(live).outcome, RepairOutcome::Intact);
    EXPECT_EQ(decodedFrames(live, format.lossless), 4 * rate) << "a completed file holds all";
}

INSTANTIATE_TEST_SUITE_P(Writers, RecordingRepairTest, ::testing::ValuesIn(writerCases()),
                         [](const ::testing::TestParamInfo<WriterCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(FlacWriterTest, ShapesLibFlacRefusesCreateNoFile) {
    const test::TempDir dir("flac");
    FlacWriter writer(dir + "/five.flac", 44100, 5, 16, 5);
    EXPECT_TRUE(writer.isFormatRefused());
    EXPECT_FALSE(writer.WriteError().empty());
    EXPECT_TRUE(test::ReadFileBytes(dir + "/five.flac").empty());
}

TEST(RecordingJournalTest, ListsEachRecordingOnceUntilRemovedAndSurvivesACutRecord) {
    const test::TempDir dir("journal");
    const std::string file = dir + "/data/sonaro/recordings.journal";
    RecordingJournal journal(file);
    EXPECT_TRUE(journal.Entries().empty());
    ASSERT_TRUE(journal.Add("/a b/one.wav"));
    ASSERT_TRUE(journal.Add("/two\n.flac"));
    ASSERT_TRUE(journal.Add("/a b/one.wav"));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"/a b/one.wav", "/two\n.flac"}));

    // A record without its end (the file cut short) is left out.
    auto bytes = test::ReadFileBytes(file);
    const std::string partial = "/cut";
    bytes.insert(bytes.end(), partial.begin(), partial.end());
    test::WriteFileBytes(file, bytes);
    EXPECT_EQ(journal.Entries().size(), 2u);
    ASSERT_TRUE(journal.Remove("/a b/one.wav"));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"/two\n.flac"}));
    ASSERT_TRUE(journal.Remove("/two\n.flac"));
    EXPECT_TRUE(test::ReadFileBytes(file).empty());
    EXPECT_TRUE(RecordingJournal("").Add("/x.wav"));
}

}  // namespace
}  // namespace sonaro
