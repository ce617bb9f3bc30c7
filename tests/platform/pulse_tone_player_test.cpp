#include "platform/pulse_tone_player.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/embedded_resources.h"
#include "support/pulse_server.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

TEST(PulseTonePlayerTest, BuiltInTonesAreShortPcmClips) {
    for (const char* name : {"WAV_RECORD_TONE", "WAV_STOPPED_TONE"}) {
        WavClip clip;
        ASSERT_TRUE(ParseWavClip(EmbeddedResource(name), clip)) << name;
        const double seconds =
            static_cast<double>(clip.samples.size()) / (2.0 * clip.channels * clip.rate);
        EXPECT_GT(seconds, 0.05) << name;
        EXPECT_LT(seconds, 0.5) << name;
    }
    EXPECT_TRUE(EmbeddedResource("WAV_NO_SUCH_TONE").empty());
}

TEST(PulseTonePlayerTest, TruncatedOrForeignFilesAreRefused) {
    const auto tone = EmbeddedResource("WAV_RECORD_TONE");
    WavClip clip;
    EXPECT_FALSE(ParseWavClip(tone.first(30), clip)) << "cut inside the format chunk";
    std::vector<std::uint8_t> float32(tone.begin(), tone.end());
    float32[20] = 3;  // format tag: float
    EXPECT_FALSE(ParseWavClip(float32, clip));
    std::vector<std::uint8_t> shortData(tone.begin(), tone.begin() + 100);
    ASSERT_TRUE(ParseWavClip(shortData, clip)) << "a data chunk longer than the file is cut";
    EXPECT_EQ(clip.samples.size(), 100u - 44u);
}

TEST(PulseTonePlayerTest, PlayReturnsAfterTheToneHasBeenPlayed) {
    test::PulseServer server;
    ASSERT_TRUE(server.running()) << server.error() << server.log();
    WavClip clip;
    ASSERT_TRUE(ParseWavClip(EmbeddedResource("WAV_STOPPED_TONE"), clip));
    const auto toneLength = std::chrono::microseconds(
        static_cast<std::int64_t>(clip.samples.size()) * 1000000 / (2 * clip.channels * clip.rate));

    PulseTonePlayer player;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.PlayTone("WAV_STOPPED_TONE")) << player.errorText();
    EXPECT_GE(std::chrono::steady_clock::now() - start, toneLength);
    EXPECT_TRUE(player.PlayTone("WAV_RECORD_TONE")) << "the connection is reused";
    EXPECT_FALSE(player.PlayTone("WAV_NO_SUCH_TONE"));
}

TEST(PulseTonePlayerTest, WithoutAServerNothingIsPlayedAndNothingHangs) {
    const test::ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/sonaro-no-server");
    PulseTonePlayer player;
    EXPECT_FALSE(player.PlayTone("WAV_RECORD_TONE"));
    EXPECT_FALSE(player.errorText().empty());
}

}  // namespace
}  // namespace sonaro
