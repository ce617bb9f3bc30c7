#include <gtest/gtest.h>

#include "audio/audio_samples.h"

#include <vector>

#include "audio/audio_sink.h"
#include "audio/channel_adapters.h"
#include "audio/placeholder_sinks.h"
#include "audio/time_conversion.h"
#include "support/memory_sink.h"

namespace sonaro {
namespace {

using test::MemorySink;

TEST(SinkRefTest, CountsCopiesAndDestroysWithTheLastReference) {
    bool destroyed = false;
    {
        SinkRef first = MakeSink<MemorySink>(8000, 1, &destroyed);
        AudioSink* sink = first.get();
        EXPECT_EQ(sink->refCount(), 1u);
        {
            SinkRef second = first;
            SinkRef third;
            third = second;
            EXPECT_EQ(sink->refCount(), 3u);
            SinkRef moved = std::move(third);
            EXPECT_EQ(sink->refCount(), 3u);
            EXPECT_TRUE(third->isUnusable()) << "a moved-from reference holds a NullSink";
        }
        EXPECT_EQ(sink->refCount(), 1u);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(SinkRefTest, ResetHoldsAFreshUnusableNullSink) {
    bool destroyed = false;
    SinkRef ref = MakeSink<MemorySink>(48000, 2, &destroyed);
    ref.reset();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(ref->isUnusable());
    EXPECT_EQ(ref->sampleRate(), 44100);
    EXPECT_EQ(ref->channels(), 1);
    const InternalSample block[4] = {1, 2, 3, 4};
    ref->Write(block, 4);
    EXPECT_EQ(ref->position(), 0);

    SinkRef other;
    EXPECT_NE(other.get(), ref.get()) << "each empty reference gets its own NullSink";
}

TEST(SinkRefTest, DiscardSinkCountsFramesAndIgnoresSeeks) {
    SinkRef ref = MakeSink<DiscardSink>();
    EXPECT_FALSE(ref->isUnusable());
    EXPECT_EQ(ref->sampleRate(), 11025);
    EXPECT_EQ(ref->channels(), 1);
    const InternalSample block[3] = {};
    ref->Write(block, 3);
    ref->Write(block, 2);
    ref->SeekTo(1);
    EXPECT_EQ(ref->position(), 5);
}

// A value past full scale (a converter ringing on a full-scale square wave) clips; it must not
// wrap to the other sign.
TEST(SampleConversionTest, SixteenBitsRoundAndSaturate) {
    EXPECT_EQ(ToPcm16(ToInternalSample(-32768)), -32768);
    EXPECT_EQ(ToPcm16(ToInternalSample(32767)), 32767);
    EXPECT_EQ(ToPcm16(7), 0);
    EXPECT_EQ(ToPcm16(8), 1);
    EXPECT_EQ(ToPcm16(-9), -1);
    EXPECT_EQ(ToPcm16(kInternalFullScale), 32767);
    EXPECT_EQ(ToPcm16(2 * kInternalFullScale), 32767);
    EXPECT_EQ(ToPcm16(-2 * kInternalFullScale), -32768);
    EXPECT_EQ(ToPcm16(INT32_MAX), 32767);
    EXPECT_EQ(ToPcm16(INT32_MIN), -32768);
}

TEST(TimeConversionTest, SplitsProductsSoLongRecordingsStayExact) {
    EXPECT_EQ(MsFromFrames(44100, 44100), 1000);
    EXPECT_EQ(MsFromFrames(44099, 44100), 999);
    EXPECT_EQ(FramesFromMs(450, 8000), 3600);
    EXPECT_EQ(FramesFromMs(1, 44100), 44);
    // Sixty hours at 96 kHz: the frame count alone passes 32 bits.
    const std::int64_t sixtyHoursMs = 60LL * 3600 * 1000;
    const std::int64_t frames = FramesFromMs(sixtyHoursMs, 96000);
    EXPECT_EQ(frames, 60LL * 3600 * 96000);
    EXPECT_EQ(MsFromFrames(frames, 96000), sixtyHoursMs);
    EXPECT_EQ(MsFromFrames(frames + 95, 96000), sixtyHoursMs);
    EXPECT_EQ(MsFromFrames(1234, 0), 1234);
    EXPECT_EQ(FramesFromMs(1234, -1), 1234);
}

TEST(ChannelAdapterTest, StereoToMonoAveragesWithArithmeticShift) {
    auto inner = MakeSink<MemorySink>(22050, 1);
    auto* memory = static_cast<MemorySink*>(inner.get());
    SinkRef adapter = MakeSink<StereoToMonoAdapter>(inner);
    EXPECT_EQ(adapter->channels(), 2);
    EXPECT_EQ(adapter->sampleRate(), 22050);
    const InternalSample block[6] = {3, -4, 100, 200, -7, -8};
    adapter->Write(block, 3);
    EXPECT_EQ(memory->samples(), (std::vector<InternalSample>{-1, 150, -8}));
    EXPECT_EQ(adapter->position(), 3);
}

TEST(ChannelAdapterTest, MonoToStereoSplitsLargeWritesIntoBlocks) {
    auto inner = MakeSink<MemorySink>(8000, 2);
    auto* memory = static_cast<MemorySink*>(inner.get());
    SinkRef adapter = MakeSink<MonoToStereoAdapter>(inner);
    std::vector<InternalSample> mono(kMaxBlockFrames + 100);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        mono[i] = static_cast<InternalSample>(i) - 5000;
    }
    adapter->Write(mono.data(), static_cast<int>(mono.size()));
    EXPECT_EQ(memory->largestWrite(), kMaxBlockFrames);
    EXPECT_EQ(memory->channel(0), mono);
    EXPECT_EQ(memory->channel(1), mono);

    adapter->SeekTo(10);
    EXPECT_EQ(adapter->position(), 10);
    EXPECT_EQ(memory->frames(), 10);
}

}  // namespace
}  // namespace sonaro
