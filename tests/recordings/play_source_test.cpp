#include "recordings/play_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/source_rate_converter.h"
#include "recordings/time_stretch_filter.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/pulse_server.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

class PlaySourceTest : public test::SettingsTest {
  protected:
    // One second of a tone at `rate`, mono.
    std::string recording(int rate, const char* name = "take.wav") {
        const std::string path = m_dir + "/" + name;
        EXPECT_TRUE(test::WriteWavFile(path, test::SineFrames(rate, 1, rate, 440, 8000), rate, 1));
        return path;
    }
    SourceRef openAt(const std::string& path, int speed) {
        m_settings.Write(setting::kCurrentSpeed, speed);
        return OpenPlaySource(path, m_settings);
    }
};

TEST_F(PlaySourceTest, SpeedsNearNormalPlayTheFileItself) {
    const std::string path = recording(22050);
    for (int speed : {93, 100, 110}) {
        SourceRef source = openAt(path, speed);
        ASSERT_FALSE(source->isUnusable());
        EXPECT_EQ(dynamic_cast<TimeStretchFilter*>(source.get()), nullptr) << speed;
        EXPECT_EQ(source->rate(), 22050);
    }
    for (int speed : {92, 111, 50}) {
        SourceRef source = openAt(path, speed);
        auto* stretch = dynamic_cast<TimeStretchFilter*>(source.get());
        ASSERT_NE(stretch, nullptr) << speed;
        EXPECT_FALSE(source->isUnusable());
        // 22050 Hz is stretched as it is.
        EXPECT_EQ(dynamic_cast<SourceRateConverter*>(stretch->source().get()), nullptr);
        EXPECT_EQ(stretch->fftSize(), 1024);
    }
}

TEST_F(PlaySourceTest, FasterRatesAreConvertedTo22050BeforeStretching) {
    SourceRef source = openAt(recording(44100), 150);
    auto* stretch = dynamic_cast<TimeStretchFilter*>(source.get());
    ASSERT_NE(stretch, nullptr);
    auto* converter = dynamic_cast<SourceRateConverter*>(stretch->source().get());
    ASSERT_NE(converter, nullptr);
    EXPECT_EQ(converter->rate(), 22050);
    EXPECT_EQ(converter->source()->rate(), 44100);
    EXPECT_EQ(stretch->fftSize(), 1024);
    // At normal speed the file keeps its rate.
    EXPECT_EQ(openAt(recording(44100, "normal.wav"), 100)->rate(), 44100);
}

TEST_F(PlaySourceTest, PlayOffsetMovesTheStart) {
    const std::string path = recording(8000);
    m_settings.Write(setting::kPlayOffset, 250);
    SourceRef source = openAt(path, 100);
    EXPECT_EQ(source->GetPosition(), 2000);
    std::vector<InternalSample> read(100);
    source->Read(read.data(), 100);
    const std::vector<std::int16_t> tone = test::SineFrames(8000, 1, 8000, 440, 8000);
    EXPECT_EQ(test::Pcm16Of(read),
              std::vector<std::int16_t>(tone.begin() + 2000, tone.begin() + 2100));
}

TEST_F(PlaySourceTest, OtherExtensionsGiveAnUnusableSource) {
    const std::string path = m_dir + "/take.ogg";
    test::WriteFileBytes(path, test::ReadFileBytes(recording(8000)));
    SourceRef source = openAt(path, 50);
    EXPECT_EQ(source->status(), SourceStatus::NotSupported);
}

}  // namespace
}  // namespace sonaro
