// Writers on a full disk: a tiny tmpfs mount (needs root or CAP_SYS_ADMIN; skipped otherwise).
// Each writer must report the failure and leave a file whose header matches the data in it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "audio/audio_samples.h"
#include "formats/aiff_writer.h"
#include "formats/byte_order.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/pcm_wav_writer.h"
#include "support/audio_files.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

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
    auto bytes = test::ReadFileBytes(wav);
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
    bytes = test::ReadFileBytes(aiff);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(GetBe32(&bytes[42]), bytes.size() - 46);
    EXPECT_EQ(GetBe32(&bytes[22]), (bytes.size() - 54) / 2);
    EXPECT_EQ(test::DecodeWithSox(aiff).size(), (bytes.size() - 54) / 2);
}

TEST_F(DiskFullTest, BlockWritersCountOnlyWholeBlocks) {
    const std::string gsm = m_dir + "/full-gsm.wav";
    {
        GsmWavWriter writer(gsm, 8000);
        fillUp(writer);
    }
    auto bytes = test::ReadFileBytes(gsm);
    ASSERT_GT(bytes.size(), 48u);
    EXPECT_EQ(GetLe32(&bytes[44]), bytes.size() - 48);
    EXPECT_EQ((bytes.size() - 48) % 65, 0u);
    EXPECT_EQ(test::DecodeWithSox(gsm).size(), (bytes.size() - 48) / 65 * 320);
    ::unlink(gsm.c_str());

    const CodecManager codecs;
    const WaveFormat ima = codecs.Formats(2, 0x11).front().format;
    const std::string compressed = m_dir + "/full-ima.wav";
    {
        CompressedWavWriter writer(compressed, ima, codecs);
        fillUp(writer);
    }
    bytes = test::ReadFileBytes(compressed);
    ASSERT_GT(bytes.size(), 48u);
    EXPECT_EQ(GetLe32(&bytes[44]), bytes.size() - 48);
    EXPECT_EQ((bytes.size() - 48) % ima.blockAlign, 0u);
    EXPECT_EQ(test::DecodeWithSox(compressed).size(), (bytes.size() - 48) / ima.blockAlign * 505);
}

}  // namespace
}  // namespace sonaro
