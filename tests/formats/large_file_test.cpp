// A WAV file past 4 GiB: the header's sizes read "unknown length" (0xFFFFFFFF) instead of
// wrapping, and a reader that honours it (ffmpeg) reads every sample up to the last one.
// Writes about 4.3 GB; skipped when the temporary folder has less than 6 GB free.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstring>
#include <vector>

#include "formats/byte_order.h"
#include "formats/pcm_wav_writer.h"
#include "support/audio_files.h"
#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

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

    ChildProcess ffmpeg;
    SpawnOptions options;
    options.argv = {"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "s32le", "-"};
    options.pipeStdout = true;
    ASSERT_TRUE(ffmpeg.start(options));
    std::vector<char> buffer(1 << 20);
    std::vector<char> tail;
    std::uint64_t total = 0;
    long got = 0;
    while ((got = ffmpeg.readOutput(buffer.data(), buffer.size())) > 0) {
        total += static_cast<std::uint64_t>(got);
        tail.insert(tail.end(), buffer.begin(), buffer.begin() + got);
        if (tail.size() > 2 * marker.size() * 4) {
            tail.erase(tail.begin(), tail.end() - static_cast<long>(marker.size() * 4));
        }
    }
    EXPECT_EQ(ffmpeg.wait(60000), 0);
    EXPECT_EQ(total, static_cast<std::uint64_t>(blocks + 1) * kMaxBlockFrames * 8);
    ASSERT_GE(tail.size(), marker.size() * 4);
    const char* last = tail.data() + tail.size() - marker.size() * 4;
    for (std::size_t i = 0; i < marker.size(); ++i) {
        std::int32_t value = 0;
        std::memcpy(&value, last + 4 * i, 4);
        ASSERT_EQ(value, marker[i] * 4096) << i;
    }
}

}  // namespace
}  // namespace sonaro
