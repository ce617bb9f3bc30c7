// Recordings cut off while being written: the writers' checkpoints keep the file on disk
// decodable (a power loss copies whatever reached it), RepairRecording completes it, and the
// journal lists what the next start repairs. FLAC recordings hold exactly what WAV ones do.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "formats/aiff_writer.h"
#include "formats/flac_writer.h"
#include "formats/opus_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/recording_journal.h"
#include "formats/recording_repair.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

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

TEST(FlacWriterTest, FlacHoldsExactlyWhatWavHoldsAtSixteenAndTwentyFourBits) {
    const test::TempDir dir("flac");
    const auto samples = test::RandomSamples(2 * 44100);
    for (const int bits : {16, 24}) {
        const std::string flac = dir + "/same" + std::to_string(bits) + ".flac";
        const std::string wav = dir + "/same" + std::to_string(bits) + ".wav";
        {
            FlacWriter flacWriter(flac, 44100, 2, bits, 8);
            PcmWavWriter wavWriter(wav, 44100, 2,
                                   bits == 16 ? PcmSampleType::Signed16 : PcmSampleType::Signed24);
            ASSERT_FALSE(flacWriter.isUnusable()) << flacWriter.WriteError();
            test::WriteAll(flacWriter, samples, 441);
            test::WriteAll(wavWriter, samples, 441);
        }
        const auto fromWav = test::DecodeWithSox32(wav);
        ASSERT_EQ(fromWav.size(), samples.size());
        EXPECT_EQ(test::DecodeWithSox32(flac), fromWav) << bits;
        // The final STREAMINFO carries the count and the MD5 signature that flac checks.
        bool ok = false;
        test::RunForOutput({"flac", "-t", "-s", flac}, ok);
        EXPECT_TRUE(ok) << flac;
    }
}

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
