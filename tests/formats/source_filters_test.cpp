// The player's source filters: the peak limiter and the read-side rate converter.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "formats/peak_limiter.h"
#include "formats/source_rate_converter.h"
#include "support/memory_source.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

using test::InternalSine;
using test::MemorySource;
using test::ReadFrames;

// Chunks of 1000 frames: the rate is 35 × 1000.
constexpr int kRate = 35000;
constexpr int kChunk = 1000;
constexpr std::int32_t kBound = 524272;

std::vector<InternalSample> chunkedSignal(const std::vector<std::int32_t>& chunkPeaks) {
    std::vector<InternalSample> samples;
    for (const std::int32_t peak : chunkPeaks) {
        for (int f = 0; f < kChunk; ++f) {
            // A peak at the chunk's middle, smaller values around it.
            samples.push_back(f == kChunk / 2 ? peak : (f % 2 == 0 ? peak / 3 : -peak / 4));
        }
    }
    return samples;
}

TEST(PeakLimiterTest, ASourceWithinTheBoundIsReturnedItself) {
    SourceRef source = MakeSource<MemorySource>(kRate, 1, std::vector<InternalSample>(10), kBound);
    EXPECT_EQ(MakePeakLimiter(source, kBound).get(), source.get());
    SourceRef louder = MakeSource<MemorySource>(kRate, 1, std::vector<InternalSample>(10), 1048576);
    SourceRef limited = MakePeakLimiter(louder, kBound);
    EXPECT_NE(limited.get(), louder.get());
    EXPECT_EQ(limited->peakBound(), kBound);
    SourceRef wild = MakeSource<MemorySource>(kRate, 1, std::vector<InternalSample>(10), 1 << 30);
    EXPECT_EQ(MakePeakLimiter(wild, 8000000)->peakBound(), PeakLimiter::kMaxBound);
}

TEST(PeakLimiterTest, GainsAndScalingFollowTheFixedPointRules) {
    EXPECT_EQ(PeakLimiter::ChunkGain(kBound, kBound), 1 << 24);
    // ((524272 << 9) / 16385) << 9: a little under one half.
    EXPECT_EQ(PeakLimiter::ChunkGain(1048576, kBound), 16382 << 9);
    EXPECT_EQ(PeakLimiter::Scale(1048576, 1 << 24), 1048576);
    EXPECT_EQ(PeakLimiter::Scale(-1048576, 1 << 23), -524288);
    EXPECT_EQ(PeakLimiter::Scale(4095, 4095), 0) << "the low halves' product is dropped";
    // 3·2048 + ((3·4095 + 5·2048) >> 12); the exact product is 6149.5.
    EXPECT_EQ(PeakLimiter::Scale(4096 * 3 + 5, (1 << 23) + 4095), 6149);
}

TEST(PeakLimiterTest, LoudChunksAreHalvedAndTheGainMovesThereOverOneChunk) {
    // Seven chunks at full scale, then four at twice full scale.
    std::vector<std::int32_t> peaks(7, kBound);
    peaks.insert(peaks.end(), 4, 1048576);
    const auto input = chunkedSignal(peaks);
    auto limiter =
        std::make_unique<PeakLimiter>(MakeSource<MemorySource>(kRate, 1, input, 1048576), kBound);
    ASSERT_EQ(limiter->chunkFrames(), kChunk);
    const auto output = ReadFrames(*limiter, static_cast<std::int64_t>(input.size()));

    // Far from the loud part every chunk passes as it is.
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + 5 * kChunk, input.begin()));
    // Nothing exceeds the bound, and the loud chunks are scaled to about half.
    for (std::size_t i = 0; i < output.size(); ++i) {
        ASSERT_LE(std::abs(output[i]), kBound) << "frame " << i;
    }
    const std::int32_t half = PeakLimiter::ChunkGain(1048576, kBound);
    for (std::size_t i = 7 * kChunk; i < 8 * kChunk; ++i) {
        ASSERT_EQ(output[i], PeakLimiter::Scale(input[i], half)) << "frame " << i;
    }
    // The chunk before the loud one glides monotonically down to the loud chunk's gain.
    double previousRatio = 2.0;
    for (std::size_t i = 6 * kChunk; i < 7 * kChunk; i += 2) {
        const double ratio = static_cast<double>(output[i]) / input[i];
        EXPECT_LE(ratio, previousRatio + 1e-4);
        previousRatio = ratio;
    }
    EXPECT_NEAR(previousRatio, 0.5, 0.01);
}

TEST(PeakLimiterTest, PositionCountsDeliveredFramesAndASeekStartsAfresh) {
    std::vector<std::int32_t> peaks(12, 1048576);
    const auto input = chunkedSignal(peaks);
    SourceRef limiter = MakePeakLimiter(MakeSource<MemorySource>(kRate, 1, input, 1048576), kBound);
    EXPECT_EQ(limiter->GetLength(), 12 * kChunk);
    ReadFrames(*limiter, 2500, 700);
    EXPECT_EQ(limiter->GetPosition(), 2500);
    const auto straight = ReadFrames(*limiter, 1000);
    limiter->Seek(2500);
    EXPECT_EQ(limiter->GetPosition(), 2500);
    EXPECT_EQ(ReadFrames(*limiter, 1000), straight) << "a steady loud signal keeps one gain";

    SourceRef growing = MakeSource<MemorySource>(kRate, 2, input, 1048576, true);
    auto live = std::make_unique<PeakLimiter>(growing, kBound);
    EXPECT_EQ(live->chunkFrames(), kChunk / 2) << "a growing file uses chunks of 1/70 s";
}

// The largest difference between `actual` and a sine of `hertz` at `amplitude`, from frame
// `from` on.
double largestError(const std::vector<InternalSample>& actual, int channels, int rate, double hertz,
                    double amplitude, std::size_t from, std::size_t to) {
    double largest = 0;
    for (std::size_t f = from; f < to; ++f) {
        const double ideal = amplitude * std::sin(2 * std::numbers::pi * hertz * f / rate);
        largest = std::max(largest, std::abs(actual[f * channels] - ideal));
    }
    return largest;
}

TEST(SourceRateConverterTest, ChoosesStagesPhasesAndStep) {
    SourceRef source = MakeSource<MemorySource>(44100, 1, std::vector<InternalSample>(100));
    EXPECT_EQ(MakeSourceRateConverter(source, 44100).get(), source.get());
    SourceRef single = MakeSourceRateConverter(source, 22050);
    auto* one = dynamic_cast<SourceRateConverter*>(single.get());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->source().get(), source.get()) << "22050 Hz takes one stage";
    SourceRef twice = MakeSourceRateConverter(source, 8000);
    auto* second = dynamic_cast<SourceRateConverter*>(twice.get());
    ASSERT_NE(second, nullptr);
    auto* first = dynamic_cast<SourceRateConverter*>(second->source().get());
    ASSERT_NE(first, nullptr) << "8000 Hz takes two stages";
    EXPECT_EQ(first->rate(), 16000);
    EXPECT_EQ(twice->rate(), 8000);

    SourceRateConverter up(source, 48000);
    EXPECT_EQ(up.phases(), 160);
    EXPECT_EQ(up.step(), 147);
    EXPECT_EQ(up.peakBound(), 2 * 524272);
    for (int p = 0; p < up.phases(); p += 17) {
        int sum = 0;
        for (int k = 0; k < SourceRateConverter::kTaps; ++k) {
            sum += up.coefficients(p)[k];
        }
        EXPECT_EQ(sum, 1 << 14) << "phase " << p;
    }
    EXPECT_EQ(MakeSourceRateConverter(source, 0)->status(), SourceStatus::Corrupt);
    EXPECT_EQ(MakeSourceRateConverter(source, -8000)->status(), SourceStatus::Corrupt);
    SourceRef six = MakeSource<MemorySource>(44100, 6, std::vector<InternalSample>(60));
    EXPECT_TRUE(MakeSourceRateConverter(six, 22050)->isUnusable());
}

TEST(SourceRateConverterTest, ASineKeepsItsLevelAndShapeAtTheNewRate) {
    // Full scale: the block shift is used, and the filter rings past the 16-bit range.
    const double amplitude = 32767.0 * 16;
    const auto input = InternalSine(44100, 2, 44100, 1000.0, amplitude);
    for (const int rate : {48000, 22050, 16000, 8000}) {
        SCOPED_TRACE(rate);
        SourceRef converter =
            MakeSourceRateConverter(MakeSource<MemorySource>(44100, 2, input), rate);
        ASSERT_FALSE(converter->isUnusable());
        const std::int64_t length = converter->GetLength();
        EXPECT_NEAR(static_cast<double>(length), rate, 1.0);
        const auto output = ReadFrames(*converter, length, 999);
        // Away from the two ends (where the filter sees silence) the sine is there, in place.
        const auto margin = static_cast<std::size_t>(rate / 100);
        EXPECT_LT(largestError(output, 2, rate, 1000.0, amplitude, margin,
                               static_cast<std::size_t>(length) - margin),
                  amplitude * 0.01);
        EXPECT_NEAR(output[margin * 2 + 1], -output[margin * 2], 64.0) << "channels stay apart";
    }
}

TEST(SourceRateConverterTest, SeeksLandWhereReadingThroughArrivesAndPositionsFollow) {
    const auto input = InternalSine(20000, 1, 44100, 440.0, 500000.0);
    for (const int rate : {48000, 22050, 11025}) {
        SCOPED_TRACE(rate);
        SourceRef converter =
            MakeSourceRateConverter(MakeSource<MemorySource>(44100, 1, input), rate);
        const auto straight = ReadFrames(*converter, converter->GetLength(), 4096);
        for (const std::int64_t frame : {0LL, 1LL, 777LL, 4000LL}) {
            converter->Seek(frame);
            EXPECT_EQ(converter->GetPosition(), frame);
            const auto sought = ReadFrames(*converter, 300, 77);
            EXPECT_EQ(converter->GetPosition(), frame + 300);
            for (std::size_t i = 0; i < sought.size(); ++i) {
                ASSERT_NEAR(sought[i], straight[static_cast<std::size_t>(frame) + i], 32)
                    << "frame " << frame + static_cast<std::int64_t>(i);
            }
        }
    }
}

TEST(SourceRateConverterTest, SamplesFarBeyondFullScaleNeitherOverflowNorClip) {
    // A square wave at 2^29: the block shift takes it down to 16 bits and back.
    std::vector<InternalSample> input(30000);
    for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = (i / 50) % 2 == 0 ? (1 << 29) : -(1 << 29);
    }
    SourceRef converter =
        MakeSourceRateConverter(MakeSource<MemorySource>(44100, 1, input, 1 << 30), 32000);
    const auto output = ReadFrames(*converter, converter->GetLength());
    double largest = 0;
    for (const InternalSample s : output) {
        largest = std::max(largest, std::abs(static_cast<double>(s)));
    }
    EXPECT_GT(largest, 0.9 * (1 << 29));
    EXPECT_LT(largest, 1.3 * (1 << 29));
}

// At full scale the filter rings past the 16-bit range; the samples beyond it must come out
// beyond it (the peak bound allows twice full scale), never folded over to the other sign.
TEST(SourceRateConverterTest, AFullScaleSquareAt8kNeverWrapsSign) {
    constexpr double kFull = 32767.0 * 16;
    // 50 Hz: 80 output frames per half period, far longer than the filter.
    std::vector<InternalSample> square(44100);
    for (std::size_t i = 0; i < square.size(); ++i) {
        square[i] = (i / 441) % 2 == 0 ? ToInternalSample(32767) : ToInternalSample(-32768);
    }
    SourceRef squareConverter =
        MakeSourceRateConverter(MakeSource<MemorySource>(44100, 1, square), 8000);
    const auto squareOut = ReadFrames(*squareConverter, squareConverter->GetLength(), 1000);
    double largest = 0;
    for (std::size_t f = 80; f + 80 < squareOut.size(); ++f) {
        largest = std::max(largest, std::abs(static_cast<double>(squareOut[f])));
        ASSERT_LE(std::abs(static_cast<double>(squareOut[f])), squareConverter->peakBound());
        const std::size_t intoHalf = f % 80;
        if (intoHalf >= 20 && intoHalf < 60) {
            const bool positive = (f / 80) % 2 == 0;
            ASSERT_EQ(squareOut[f] > 0, positive) << "frame " << f;
            ASSERT_GT(std::abs(static_cast<double>(squareOut[f])), 0.9 * kFull) << "frame " << f;
        }
    }
    EXPECT_GT(largest, kFull) << "the edges ring past full scale";
}

TEST(SourceRateConverterTest, AGrowingSourceIsReadAsFarAsItHasGrown) {
    const auto input = InternalSine(10000, 1, 8000, 300.0, 100000.0);
    auto* memory = new MemorySource(8000, 1, input, 524272, true);
    SourceRef source(memory);
    SourceRef converter = MakeSourceRateConverter(source, 16000);
    EXPECT_EQ(converter->GetLength(), (10000 - 33) * 2 - 1);
    ReadFrames(*converter, 100);
    EXPECT_LE(memory->framesRead(), 10000 + 64) << "no read beyond what the file holds";
}

}  // namespace
}  // namespace sonaro
