#include <gtest/gtest.h>

#include <vector>

#include "audio/audio_source.h"
#include "support/source_reading.h"

namespace sonaro {
namespace {

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

TEST(SourceRefTest, CountsCopiesAndDestroysWithTheLastReference) {
    bool destroyed = false;
    {
        SourceRef first = MakeSource<CountingSource>(8000, 1, 5, &destroyed);
        AudioSource* source = first.get();
        {
            SourceRef second = first;
            SourceRef third;
            third = second;
            EXPECT_EQ(source->refCount(), 3u);
            SourceRef moved = std::move(third);
            EXPECT_EQ(source->refCount(), 3u);
            EXPECT_TRUE(third->isUnusable()) << "a moved-from reference holds a placeholder";
        }
        EXPECT_EQ(source->refCount(), 1u);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(SourceRefTest, ResetHoldsAnUnusablePlaceholderThatReadsSilence) {
    bool destroyed = false;
    SourceRef ref = MakeSource<CountingSource>(8000, 2, 5, &destroyed);
    ref.reset();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(ref->status(), SourceStatus::NotSupported);
    EXPECT_EQ(ref->rate(), 44100);
    EXPECT_EQ(ref->channels(), 1);
    EXPECT_EQ(ref->GetLength(), 0);
    std::vector<InternalSample> block(4, 7);
    ref->Read(block.data(), 4);
    EXPECT_EQ(block, std::vector<InternalSample>(4, 0));
    EXPECT_FALSE(ref->IsGrowing());

    SourceRef other;
    EXPECT_NE(other.get(), ref.get()) << "each empty reference gets its own placeholder";
    EXPECT_EQ(MakeSource<PlaceholderSource>(SourceStatus::CannotOpen)->flags(), 4);
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

}  // namespace
}  // namespace sonaro
