// Sinks and sources with their references, placeholders, filters and adapters; sample, time
// and level conversions.
#include <gtest/gtest.h>

#include <vector>

#include "audio/audio_samples.h"
#include "audio/audio_sink.h"
#include "audio/audio_source.h"
#include "audio/channel_adapters.h"
#include "audio/level_set.h"
#include "audio/placeholder_sinks.h"
#include "audio/time_conversion.h"
#include "support/memory_sink.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

using test::MemorySink;

// A source of `length` frames counting up from 1 in every channel; tells when it is destroyed.
class CountingSource final : public AudioSource {
  public:
    CountingSource(int rate, int channels, std::int64_t length, bool* destroyed = nullptr)
        : AudioSource(rate, kFullScalePeak, channels), m_length(length), m_destroyed(destroyed) {}
    ~CountingSource() override {
        if (m_destroyed != nullptr) {
            *m_destroyed = true;
        }
    }

    void Read(InternalSample* dest, int frames) override {
        for (int f = 0; f < frames; ++f, ++m_position) {
            for (int c = 0; c < channels(); ++c) {
                *dest++ = m_position < m_length ? static_cast<InternalSample>(m_position + 1) : 0;
            }
        }
    }
    std::int64_t GetPosition() const override { return m_position; }
    std::int64_t GetLength() const override { return m_length; }
    void Seek(std::int64_t frame) override { m_position = frame; }
    bool IsGrowing() const override { return true; }

  private:
    std::int64_t m_length;
    std::int64_t m_position = 0;
    bool* m_destroyed;
};

class PassFilter final : public SourceFilter {
  public:
    explicit PassFilter(SourceRef source) : SourceFilter(std::move(source)) {}
    void Read(InternalSample* dest, int frames) override { m_source->Read(dest, frames); }
};

// Copies count, a move leaves a placeholder behind and the last reference destroys the object;
// a reset reference holds a fresh unusable placeholder of one channel, which it returns.
template <typename Ref, typename Make>
Ref expectCountedReferences(Make make) {
    bool destroyed = false;
    {
        Ref first = make(&destroyed);
        const auto* object = first.get();
        {
            Ref second = first;
            Ref third;
            third = second;
            EXPECT_EQ(object->refCount(), 3u);
            Ref moved = std::move(third);
            EXPECT_EQ(object->refCount(), 3u);
            EXPECT_TRUE(third->isUnusable()) << "a moved-from reference holds a placeholder";
        }
        EXPECT_EQ(object->refCount(), 1u);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);

    destroyed = false;
    Ref ref = make(&destroyed);
    ref.reset();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(ref->isUnusable());
    EXPECT_EQ(ref->channels(), 1);
    EXPECT_NE(Ref().get(), ref.get()) << "each empty reference gets its own placeholder";
    return ref;
}

TEST(ReferenceTest, SinkAndSourceReferencesCountCopiesAndHoldPlaceholdersWhenReset) {
    SinkRef sink = expectCountedReferences<SinkRef>(
        [](bool* destroyed) { return MakeSink<MemorySink>(48000, 2, destroyed); });
    EXPECT_EQ(sink->sampleRate(), 44100);
    const InternalSample written[4] = {1, 2, 3, 4};
    sink->Write(written, 4);
    EXPECT_EQ(sink->position(), 0);

    SourceRef source = expectCountedReferences<SourceRef>(
        [](bool* destroyed) { return MakeSource<CountingSource>(8000, 2, 5, destroyed); });
    EXPECT_EQ(source->status(), SourceStatus::NotSupported);
    EXPECT_EQ(source->rate(), 44100);
    EXPECT_EQ(source->GetLength(), 0);
    std::vector<InternalSample> read(4, 7);
    source->Read(read.data(), 4);
    EXPECT_EQ(read, std::vector<InternalSample>(4, 0));
    EXPECT_FALSE(source->IsGrowing());
    EXPECT_EQ(MakeSource<PlaceholderSource>(SourceStatus::CannotOpen)->flags(), 4);
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

TEST(AudioSourceTest, InvalidRateOrChannelsGiveDefaultsAndMarkTheSourceCorrupt) {
    CountingSource badRate(0, 2, 10);
    EXPECT_EQ(badRate.rate(), 44100);
    EXPECT_EQ(badRate.channels(), 2);
    EXPECT_EQ(badRate.status(), SourceStatus::Corrupt);

    CountingSource noChannels(8000, 0, 10);
    EXPECT_EQ(noChannels.rate(), 8000);
    EXPECT_EQ(noChannels.channels(), 1);
    EXPECT_EQ(noChannels.flags(), 3);

    CountingSource tooMany(8000, 256, 10);
    EXPECT_EQ(tooMany.channels(), 1);
    EXPECT_TRUE(tooMany.isUnusable());

    CountingSource fine(22050, 2, 10);
    EXPECT_FALSE(fine.isUnusable());
    EXPECT_EQ(fine.peakBound(), 524272);
}

TEST(SourceFilterTest, TakesTheHeaderAndForwardsPositionLengthSeekAndGrowth) {
    SourceRef inner = MakeSource<CountingSource>(16000, 2, 100);
    SourceRef filter = MakeSource<PassFilter>(inner);
    EXPECT_FALSE(filter->isUnusable());
    EXPECT_EQ(filter->rate(), 16000);
    EXPECT_EQ(filter->channels(), 2);
    EXPECT_EQ(filter->GetLength(), 100);
    EXPECT_TRUE(filter->IsGrowing());
    filter->Seek(98);
    EXPECT_EQ(inner->GetPosition(), 98);
    const auto samples = test::ReadFrames(*filter, 3);
    EXPECT_EQ(samples, (std::vector<InternalSample>{99, 99, 100, 100, 0, 0}));
    EXPECT_EQ(filter->GetPosition(), 101);

    SourceRef overUnusable = MakeSource<PassFilter>(SourceRef());
    EXPECT_EQ(overUnusable->status(), SourceStatus::SourceUnusable);
}

TEST(LevelTest, QuarterOfFullScaleIsZeroDecibels) {
    EXPECT_EQ(LevelFromPeak(131072), 0);
    EXPECT_EQ(LevelFromPeak(0), -127);
    EXPECT_EQ(LevelFromPeak(65536), -6);
    EXPECT_EQ(LevelFromPeak(524272), 12);
    EXPECT_EQ(LevelFromPeak(16), -78);  // the quietest non-zero 16-bit sample
    // -0.5 dB sits at 131072 * 10^(-0.5/20) = 123739.9: below it rounds away from zero to -1.
    EXPECT_EQ(LevelFromPeak(123740), 0);
    EXPECT_EQ(LevelFromPeak(123739), -1);
}

TEST(LevelTest, BlockLevelIsTheLouderOfTheFirstTwoChannels) {
    // Left peaks negative, right is quiet; the third channel is ignored for the block level.
    const std::vector<InternalSample> block = {-131072, -1000, 524272, 16, 8, 0};
    std::int8_t levels[3] = {};
    EXPECT_EQ(ComputeBlockLevels(block.data(), 2, 3, levels), 0);
    EXPECT_EQ(levels[0], 0);
    EXPECT_EQ(levels[1], -42);
    EXPECT_EQ(levels[2], 12);

    const std::vector<InternalSample> silent(64, 0);
    EXPECT_EQ(ComputeBlockLevels(silent.data(), 64, 1, levels), -127);
}

}  // namespace
}  // namespace sonaro
