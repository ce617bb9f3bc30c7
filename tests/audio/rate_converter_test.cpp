#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/rate_converter.h"
#include "support/memory_sink.h"
#include "support/signal.h"

namespace sonaro {
namespace {

using test::MemorySink;

struct Chain {
    Chain(int inputRate, int outputRate, int channels)
        : inner(MakeSink<MemorySink>(outputRate, channels)),
          memory(static_cast<MemorySink*>(inner.get())),
          converter(MakeSink<RateConverter>(inputRate, inner)) {}

    RateConverter& rate() const { return static_cast<RateConverter&>(*converter); }

    SinkRef inner;
    MemorySink* memory;
    SinkRef converter;
};

std::vector<InternalSample> convert(int from, int to, const std::vector<InternalSample>& input,
                                    int channels = 1, int blockFrames = 4410) {
    Chain chain(from, to, channels);
    const int frames = static_cast<int>(input.size()) / channels;
    for (int done = 0; done < frames; done += blockFrames) {
        const int run = std::min(blockFrames, frames - done);
        chain.converter->Write(input.data() + static_cast<std::ptrdiff_t>(done) * channels, run);
    }
    chain.converter.reset();  // flushes the look-ahead
    return chain.memory->samples();
}

TEST(RateConverterTest, PhasesAndStepFollowTheRates) {
    Chain up(44100, 48000, 2);
    EXPECT_EQ(up.rate().phases(), 160);
    EXPECT_EQ(up.rate().step(), 147);
    EXPECT_EQ(up.converter->sampleRate(), 44100) << "the rate written to it";
    EXPECT_EQ(up.converter->channels(), 2);
    // Up-sampling: a cutoff of 0.975 makes the centre tap of phase 0 nearly all of the gain.
    EXPECT_NEAR(up.rate().coefficients(0)[7], 0.975 * 16384, 0.975 * 16384 * 0.02);

    Chain down(44100, 8000, 1);
    EXPECT_EQ(down.rate().phases(), 80);
    EXPECT_EQ(down.rate().step(), 441);
    // Down-sampling: cutoff 8000/44100 - 0.046875, raised by the 0.85 dB the window takes off.
    EXPECT_NEAR(down.rate().coefficients(0)[7], (8000.0 / 44100 - 0.046875) * 16384 * 1.103, 8);
    // Every phase has unity gain, and its absolute sum stays well below the 4.0 that could
    // overflow the 32-bit dot product.
    for (const auto& [from, to] : {std::pair{44100, 8000},
                                   {44100, 48000},
                                   {8000, 48000},
                                   {96000, 8000},
                                   {48000, 44100},
                                   {11025, 11025}}) {
        Chain chain(from, to, 1);
        for (int p = 0; p < chain.rate().phases(); ++p) {
            int sum = 0;
            int absoluteSum = 0;
            for (int k = 0; k < 15; ++k) {
                sum += chain.rate().coefficients(p)[k];
                absoluteSum += std::abs(chain.rate().coefficients(p)[k]);
            }
            ASSERT_EQ(sum, 16384) << from << " -> " << to << " phase " << p;
            ASSERT_LT(absoluteSum, 3 * 16384) << from << " -> " << to << " phase " << p;
            ASSERT_EQ(chain.rate().coefficients(p)[15], 0);
        }
    }
    // Phase 0 sits on an input frame: its taps are symmetric about the centre.
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(down.rate().coefficients(0)[k], down.rate().coefficients(0)[14 - k]);
    }

    Chain same(8000, 8000, 1);
    EXPECT_EQ(same.rate().phases(), 1);
    EXPECT_EQ(same.rate().step(), 1);
}

// Rates with hardly a common divisor would need one phase per output frame of a second; the
// table is capped and the rounded step keeps the length within the promised 0.5 / step.
TEST(RateConverterTest, PhasesAreCappedForRatesWithoutACommonDivisor) {
    for (const auto& [from, to] :
         {std::pair{44100, 383999}, {383999, 1000}, {44100, 2147483647}, {1000000007, 44100}}) {
        Chain chain(from, to, 2);
        ASSERT_FALSE(chain.converter->isUnusable()) << from << " -> " << to;
        EXPECT_LE(chain.rate().phases(), RateConverter::kMaxPhases);
    }
    Chain odd(48000, 44101, 1);
    EXPECT_EQ(odd.rate().phases(), 44101) << "below the cap the step stays exact";
    const std::vector<InternalSample> second(44100, 0);
    EXPECT_NEAR(static_cast<double>(convert(44100, 383999, second).size()), 383999, 383999 * 1e-4);
}

// A full-scale square wave makes the filter ring past full scale at every edge; a sample beyond
// 16 bits would flip sign in the writers.
TEST(RateConverterTest, FullScaleSquareWavesStayWithinSixteenBits) {
    constexpr int kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    for (const int from : kRates) {
        std::vector<InternalSample> square(static_cast<std::size_t>(from) / 5 * 2);
        for (std::size_t i = 0; i < square.size(); ++i) {
            square[i] = ToInternalSample((i / 2 / 20) % 2 == 0 ? 32767 : -32768);
        }
        for (const int to : kRates) {
            for (const InternalSample sample : convert(from, to, square, 2)) {
                ASSERT_GE(sample, ToInternalSample(-32768)) << from << " -> " << to;
                ASSERT_LE(sample, ToInternalSample(32767)) << from << " -> " << to;
            }
        }
    }
}

TEST(RateConverterTest, BesselSeriesMatchesKnownValues) {
    EXPECT_DOUBLE_EQ(RateConverter::BesselI0(0), 1.0);
    // Seven terms come within 0.01 of the function at the two window parameters.
    EXPECT_NEAR(RateConverter::BesselI0(2.12), 2.48152, 1e-4);
    EXPECT_NEAR(RateConverter::BesselI0(4.538), 18.0762, 0.01);
}

TEST(RateConverterTest, ConstantInputKeepsItsValueAndEveryFrameComesOut) {
    const std::vector<InternalSample> input(44100, 1000 * 16);
    const std::vector<InternalSample> output = convert(44100, 48000, input);
    // One second in gives one second out once the destructor has flushed the look-ahead.
    EXPECT_NEAR(static_cast<double>(output.size()), 48000, 10);
    for (std::size_t i = 20; i + 20 < output.size(); ++i) {
        ASSERT_NEAR(output[i], 16000, 16 * 16) << "frame " << i;
    }
}

// The short filter's pass band falls off towards its cutoff (2966 Hz down to 8000 Hz), so 1 kHz
// loses about half a decibel there.
TEST(RateConverterTest, SineKeepsFrequencyAndLevel) {
    const auto input = test::MakeSine(1000, 0.5, 44100, 44100);
    for (const int rate : {48000, 8000}) {
        const auto output = convert(44100, rate, input);
        EXPECT_EQ(test::DominantFrequency(output, rate, 500, 1500, 5), 1000) << rate;
        EXPECT_NEAR(test::AmplitudeToDb(test::ToneAmplitude(output, 1000, rate)),
                    test::AmplitudeToDb(0.5), rate == 48000 ? 0.2 : 1.0)
            << rate;
    }
}

// 6 kHz lies above the 4 kHz that 8000 Hz can carry: the filter must push down what would
// otherwise fold back to 2 kHz. A 15-tap filter cannot do much: it takes off about 26 dB.
TEST(RateConverterTest, ToneAboveTheNewBandIsAttenuated) {
    const auto input = test::MakeSine(6000, 0.5, 44100, 44100);
    const auto output = convert(44100, 8000, input);
    const double aliasDb = test::AmplitudeToDb(test::ToneAmplitude(output, 2000, 8000));
    const double attenuation = test::AmplitudeToDb(0.5) - aliasDb;
    RecordProperty("attenuation_db", std::to_string(attenuation));
    EXPECT_GT(attenuation, 24.0);
}

TEST(RateConverterTest, ChannelsStaySeparateAndSmallWritesGiveTheSameOutputAsOneLargeWrite) {
    // Left carries the tone, right the same tone inverted: any bleed breaks the symmetry.
    const auto input = test::MakeSine(440, 0.8, 22050, 20000, 2, {1, -1});
    const auto whole = convert(22050, 48000, input, 2, 8192);
    for (std::size_t i = 0; i + 1 < whole.size(); i += 2) {
        ASSERT_NEAR(whole[i], -whole[i + 1], 16) << "frame " << i / 2;
    }
    EXPECT_EQ(convert(22050, 48000, input, 2, 7), whole);
    EXPECT_EQ(convert(22050, 48000, input, 2, 1), whole);
}

TEST(RateConverterTest, LargeBlocksAreWrittenInRunsOfAtMost8192Frames) {
    Chain up(8000, 48000, 1);
    const std::vector<InternalSample> input(kMaxBlockFrames, 0);
    up.converter->Write(input.data(), kMaxBlockFrames);
    EXPECT_LE(up.memory->largestWrite(), kMaxBlockFrames);
    EXPECT_GT(up.memory->frames(), 6 * (kMaxBlockFrames - 16));
    EXPECT_EQ(up.converter->position(), kMaxBlockFrames);
}

TEST(RateConverterTest, SeekFlushesHeldBackFramesFirst) {
    Chain down(44100, 8000, 1);
    const std::vector<InternalSample> input(441, 1600);
    down.converter->Write(input.data(), 441);
    // 441 input frames and the 8 flushed zeros make 81 output frames; the look-ahead holds back
    // the last of them until the flush.
    const std::int64_t before = down.memory->frames();
    EXPECT_LT(before, 80);
    down.converter->SeekTo(441 * 2);
    ASSERT_GE(down.memory->calls().size(), 2u);
    EXPECT_EQ(down.memory->calls()[down.memory->calls().size() - 2],
              "W" + std::to_string(81 - before));
    EXPECT_EQ(down.memory->calls().back(), "S160");
    EXPECT_EQ(down.converter->position(), 882);

    // The mapping keeps 64-bit positions: 30 hours at 44100 Hz.
    const std::int64_t far = 30LL * 3600 * 44100 + 17;
    down.converter->SeekTo(far);
    EXPECT_EQ(down.memory->calls().back(), "S" + std::to_string(far / 441 * 80 + 17 * 80 / 441));
}

TEST(RateConverterTest, LargeDownSamplingRatiosSkipInputSafely) {
    const auto input = test::MakeSine(100, 0.5, 192000, 192000);
    const auto output = convert(192000, 8000, input, 1, 1000);
    EXPECT_NEAR(static_cast<double>(output.size()), 8000, 4);
    EXPECT_EQ(test::DominantFrequency(output, 8000, 50, 200, 5), 100);
}

}  // namespace
}  // namespace sonaro
