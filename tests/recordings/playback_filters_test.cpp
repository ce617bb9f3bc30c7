#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "formats/source_rate_converter.h"
#include "recordings/cue_filter.h"
#include "recordings/phase_math.h"
#include "recordings/play_source.h"
#include "recordings/time_stretch_filter.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/memory_source.h"
#include "support/pulse_server.h"
#include "support/settings_home.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

using test::MemorySource;
using test::ReadFrames;

constexpr double kAmplitude = 100000;

// Frames of a sine per channel: channel c at hertz[c].
std::vector<InternalSample> Tones(int frames, int rate, const std::vector<double>& hertz) {
    const std::size_t channels = hertz.size();
    std::vector<InternalSample> samples(static_cast<std::size_t>(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i / channels) / rate;
        samples[i] = static_cast<InternalSample>(
            std::lround(kAmplitude * std::sin(2 * std::numbers::pi * hertz[i % channels] * t)));
    }
    return samples;
}

// Mean frequency of channel `channel` over frames [from, to) from its first and last upward
// zero crossings, interpolated between samples.
double Frequency(const std::vector<InternalSample>& samples, int channels, int channel, int rate,
                 std::size_t from, std::size_t to) {
    double first = -1;
    double last = -1;
    int cycles = -1;
    for (std::size_t f = from + 1; f < to; ++f) {
        const double a = samples[(f - 1) * channels + channel];
        const double b = samples[f * channels + channel];
        if (a < 0 && b >= 0) {
            last = static_cast<double>(f - 1) + a / (a - b);
            first = first < 0 ? last : first;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * rate / (last - first) : 0;
}

SourceRef Memory(int rate, int channels, std::vector<InternalSample> samples) {
    return MakeSource<MemorySource>(rate, channels, std::move(samples));
}

TEST(PhaseMath, ApproximationsHoldTheirBounds) {
    float worstAngle = 0;
    for (int i = 0; i < 100000; ++i) {
        const double a = 2 * std::numbers::pi * i / 100000;
        for (const double r : {1e-3, 1.0, 7e5}) {
            const auto y = static_cast<float>(r * std::sin(a));
            const auto x = static_cast<float>(r * std::cos(a));
            worstAngle = std::max(worstAngle, std::abs(phase::Atan2(y, x) - std::atan2(y, x)));
        }
    }
    EXPECT_LT(worstAngle, 1e-5f);
    EXPECT_EQ(phase::Atan2(0, 0), 0);
    float worst = 0;
    for (float x = -1000; x < 1000; x += 0.0137f) {
        float s = 0;
        float c = 0;
        phase::SinCos(x, s, c);
        worst = std::max({worst, std::abs(s - std::sin(x)), std::abs(c - std::cos(x))});
        const float wrapped = phase::Wrap(x);
        ASSERT_LE(std::abs(wrapped), phase::kPi + 1e-5f);
        ASSERT_NEAR(std::sin(wrapped), std::sin(x), 2e-3f);
    }
    EXPECT_LT(worst, 2e-6f);
}

class StretchSpeed : public testing::TestWithParam<double> {};

TEST_P(StretchSpeed, KeepsPitchPerChannelAndScalesLength) {
    constexpr int kRate = 22050;
    const double speed = GetParam();
    SourceRef filter =
        MakeTimeStretchFilter(Memory(kRate, 2, Tones(2 * kRate, kRate, {440, 700})), speed, false);
    ASSERT_FALSE(filter->isUnusable());
    EXPECT_EQ(filter->peakBound(), 2 * AudioSource::kFullScalePeak);
    std::vector<InternalSample> out;
    std::vector<InternalSample> block(2 * 100);
    while (filter->GetPosition() < filter->GetLength() && out.size() < 20u * kRate) {
        filter->Read(block.data(), 100);
        out.insert(out.end(), block.begin(), block.end());
    }
    const double frames = static_cast<double>(out.size()) / 2;
    EXPECT_NEAR(frames * speed / (2 * kRate), 1.0, 0.02);
    const auto middle = static_cast<std::size_t>(frames / 2);
    EXPECT_NEAR(Frequency(out, 2, 0, kRate, middle - 4000, middle + 4000), 440, 4.4);
    EXPECT_NEAR(Frequency(out, 2, 1, kRate, middle - 4000, middle + 4000), 700, 7);
    // The level follows the window's 1/sqrt(speed) within a few dB: a tone whose frames lose
    // their phase relation between bins would almost vanish.
    double power = 0;
    for (std::size_t i = 2 * (middle - 4000); i < 2 * (middle + 4000); ++i) {
        power += static_cast<double>(out[i]) * out[i];
    }
    const double level = std::sqrt(power / 16000) / (kAmplitude / std::numbers::sqrt2);
    EXPECT_NEAR(level * std::sqrt(speed), 1.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(HalfAndOneAndAHalf, StretchSpeed, testing::Values(0.5, 1.5));

TEST(TimeStretchFilter, AdvancesTheSourceByTheAnalysisHop) {
    for (const auto& [rate, size] : {std::pair{22050, 1024}, {11025, 512}, {8000, 256}}) {
        const TimeStretchFilter filter(Memory(rate, 1, {}), 1.0, false);
        EXPECT_EQ(filter.fftSize(), size);
        EXPECT_EQ(filter.synthesisHop(), size / 8);
    }
    for (const auto& [speed, low, high, mean] :
         {std::tuple{0.5, 64, 64, 64.0}, {1.5, 192, 192, 192.0}, {0.92, 117, 118, 117.76}}) {
        SourceRef filter =
            MakeTimeStretchFilter(Memory(22050, 1, Tones(22050, 22050, {300})), speed, false);
        ReadFrames(*filter, 128);
        const std::int64_t start = filter->GetPosition();
        std::int64_t previous = start;
        for (int hop = 0; hop < 100; ++hop) {
            ReadFrames(*filter, 128);
            const std::int64_t advance = filter->GetPosition() - previous;
            ASSERT_GE(advance, low) << speed;
            ASSERT_LE(advance, high) << speed;
            previous = filter->GetPosition();
        }
        EXPECT_NEAR(static_cast<double>(previous - start) / 100, mean, 0.011) << speed;
    }
}

TEST(TimeStretchFilter, OutputStartsAtTheSourceStartAndAtEverySeek) {
    constexpr int kRate = 22050;
    const std::vector<InternalSample> tone = Tones(kRate, kRate, {440});
    SourceRef filter = MakeTimeStretchFilter(Memory(kRate, 1, tone), 1.0, false);
    // At normal speed the frames come back unchanged but for a window ripple of under 4 %.
    const auto expectMatch = [&](std::size_t from) {
        const std::vector<InternalSample> out = ReadFrames(*filter, 1000);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_NEAR(out[i], tone[from + i], 0.04 * std::abs(tone[from + i]) + 8) << from + i;
        }
    };
    EXPECT_EQ(filter->GetPosition(), 0);
    expectMatch(0);
    filter->Seek(10000);
    EXPECT_EQ(filter->GetPosition(), 10000);
    expectMatch(10000);
}

TEST(TimeStretchFilter, RefusesWhatItCannotPlay) {
    EXPECT_EQ(MakeTimeStretchFilter(SourceRef(), 1.0)->status(), SourceStatus::SourceUnusable);
    for (const double speed : {-1.0, 0.0, 1e-9, 8.01, std::nan("")}) {
        SourceRef filter = MakeTimeStretchFilter(Memory(22050, 1, Tones(100, 22050, {440})), speed);
        EXPECT_EQ(filter->status(), SourceStatus::Corrupt) << speed;
        const std::vector<InternalSample> out = ReadFrames(*filter, 500);
        EXPECT_EQ(std::count(out.begin(), out.end(), 0), 500);
    }
    // The fastest speed reads a whole transform per hop, past the end of a short source.
    SourceRef fastest =
        MakeTimeStretchFilter(Memory(8000, 2, Tones(300, 8000, {440, 500})), 8.0, true);
    ASSERT_FALSE(fastest->isUnusable());
    EXPECT_EQ(fastest->GetLength(), 38);
    ReadFrames(*fastest, 2000, 333);
}

// A linear chirp: the local frequency tells the source time, 2000 Hz + 200 Hz per second.
double ChirpTime(double hertz) {
    return (hertz - 2000) / 200;
}

std::vector<InternalSample> Chirp(int frames, int rate) {
    std::vector<InternalSample> samples(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        samples[static_cast<std::size_t>(f)] = static_cast<InternalSample>(
            std::lround(kAmplitude * std::sin(2 * std::numbers::pi * (2000 * t + 100 * t * t))));
    }
    return samples;
}

TEST(CueFilter, NormalSpeedPassesTheSourceThrough) {
    const std::vector<InternalSample> tone = Tones(5000, 44100, {440, 1000});
    SourceRef filter = MakeCueFilter(Memory(44100, 2, tone), 1.0, 1.0, 0);
    // Blocks that end inside grains. Each of the two split products may lose up to 3.
    const std::vector<InternalSample> out = ReadFrames(*filter, 5000, 37);
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_NEAR(out[i], tone[i], 6) << i;
    }
}

TEST(CueFilter, RampsTheStepToTheEndSpeed) {
    auto* cue = new CueFilter(Memory(44100, 2, Tones(4410, 44100, {440, 440})), -0.5, -7.0, 8000);
    SourceRef filter(cue);
    EXPECT_EQ(cue->grainFrames(), 490);
    EXPECT_EQ(cue->window().front(), CueFilter::kUnity);
    EXPECT_EQ(cue->window()[489], CueFilter::kUnity);
    EXPECT_LT(cue->window().back(), 1 << 10);
    EXPECT_EQ(cue->step(), -490);
    ReadFrames(*cue, 719 * 490);
    EXPECT_GT(cue->step(), -6860);
    ReadFrames(*cue, 490);
    EXPECT_EQ(cue->step(), -6860);
    EXPECT_EQ(MakeCueFilter(Memory(44100, 1, {}), 1.0, std::nan(""), 10)->status(),
              SourceStatus::Corrupt);
    EXPECT_EQ(MakeCueFilter(SourceRef(), 1.0, 2.0, 10)->status(), SourceStatus::SourceUnusable);
}

TEST(CueFilter, FollowsTheRampThroughTheSource) {
    constexpr int kRate = 22050;
    SourceRef filter = MakeCueFilter(Memory(kRate, 1, Chirp(12 * kRate, kRate)), 1.0, 4.0, 1000);
    constexpr int kGrain = kRate / 90;
    // The first half of each grain continues the source: its frequency gives the source time.
    std::vector<double> times;
    for (int grain = 0; grain < 160; ++grain) {
        const std::vector<InternalSample> out = ReadFrames(*filter, kGrain);
        times.push_back(ChirpTime(Frequency(out, 1, 0, kRate, 0, kGrain / 2)));
        if (grain % 40 == 0) {
            EXPECT_NEAR(static_cast<double>(filter->GetPosition()) / kRate, times.back(), 0.05);
        }
    }
    EXPECT_NEAR(times[0], 0, 0.02);
    const double grainSeconds = static_cast<double>(kGrain) / kRate;
    EXPECT_NEAR((times[10] - times[0]) / (10 * grainSeconds), 1.15, 0.15);
    // The ramp ends after 90 grains.
    EXPECT_NEAR((times[150] - times[100]) / (50 * grainSeconds), 4.0, 0.1);
}

TEST(CueFilter, StopsAtEitherEndOfTheFile) {
    constexpr int kRate = 44100;
    const std::vector<InternalSample> tone = Tones(kRate / 4, kRate, {440, 660});
    SourceRef backwards = MakeCueFilter(Memory(kRate, 2, tone), -2.0, -7.0, 100);
    backwards->Seek(kRate / 8);
    int reads = 0;
    while (backwards->GetPosition() < backwards->GetLength() && ++reads < 1000) {
        ReadFrames(*backwards, 333);
    }
    EXPECT_LT(reads, 100);
    EXPECT_EQ(backwards->GetPosition(), 0);
    // Past the start and past the end it reads silence.
    std::vector<InternalSample> out = ReadFrames(*backwards, 5000, 777);
    EXPECT_EQ(std::count(out.begin() + 2000, out.end(), 0), 8000);

    SourceRef forwards = MakeCueFilter(Memory(kRate, 2, tone), 7.0, 7.0, 0);
    forwards->Seek(kRate / 4 - 100);
    EXPECT_EQ(forwards->GetLength(), kRate / 4);
    out = ReadFrames(*forwards, 5000, 777);
    EXPECT_GE(forwards->GetPosition(), forwards->GetLength());
    EXPECT_EQ(std::count(out.begin() + 2000, out.end(), 0), 8000);
}

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

// Speeds of 93 to 110 % play the file itself; others stretch it at 22050 Hz, converting faster
// rates first.
TEST_F(PlaySourceTest, SpeedsAwayFromNormalAreStretchedAt22050) {
    for (const int rate : {22050, 44100}) {
        const std::string path = recording(rate, rate == 22050 ? "take.wav" : "fast.wav");
        for (const int speed : {50, 92, 93, 100, 110, 111, 150}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz at " + std::to_string(speed) + " %");
            SourceRef source = openAt(path, speed);
            ASSERT_FALSE(source->isUnusable());
            const auto* stretch = dynamic_cast<TimeStretchFilter*>(source.get());
            if (speed >= 93 && speed <= 110) {
                EXPECT_EQ(stretch, nullptr);
                EXPECT_EQ(source->rate(), rate);
                continue;
            }
            ASSERT_NE(stretch, nullptr);
            EXPECT_EQ(stretch->fftSize(), 1024);
            const auto* converter = dynamic_cast<SourceRateConverter*>(stretch->source().get());
            ASSERT_EQ(converter != nullptr, rate != 22050);
            if (converter != nullptr) {
                EXPECT_EQ(converter->rate(), 22050);
                EXPECT_EQ(converter->source()->rate(), rate);
            }
        }
    }
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
