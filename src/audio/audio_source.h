#pragma once

#include <atomic>
#include <cstdint>

#include "audio/audio_samples.h"

namespace sonaro {

// What an unusable source's flags say; the readers report why a file gives no audio this way.
enum class SourceStatus : std::uint8_t {
    Usable = 0,
    // A filter built over an unusable source.
    SourceUnusable = 2,
    // The file is corrupt, or the source was built with an invalid rate or channel count.
    Corrupt = 3,
    // The file could not be opened (missing, no read access, not a regular file).
    CannotOpen = 4,
    // The format's codec is missing or cannot be opened.
    CodecMissing = 5,
    // Any other value: the format is not supported.
    NotSupported = 6,
};

// The read side of an audio stream: file readers and the filters that wrap them. Delivers
// interleaved internal samples in the source's own rate and channel count.
//
// Held through SourceRef; the last reference destroys it. Used by one thread at a time.
class AudioSource {
  public:
    static constexpr int kDefaultRate = 44100;
    // Full 16-bit scale: 32767 × 16.
    static constexpr std::int32_t kFullScalePeak = 32767 << kInternalShift;

    // A rate of 0 or less becomes kDefaultRate and a channel count outside 1 to 255 becomes 1;
    // either marks the source Corrupt.
    AudioSource(int rate, std::int32_t peakBound, int channels,
                SourceStatus status = SourceStatus::Usable);
    virtual ~AudioSource() = default;
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Fills exactly `frames` frames (channels() samples each) at `dest`; silence after the end.
    virtual void Read(InternalSample* dest, int frames) = 0;
    virtual std::int64_t GetPosition() const = 0;
    virtual std::int64_t GetLength() const = 0;
    // A negative frame counts as 0; a frame beyond the end reads silence.
    virtual void Seek(std::int64_t frame) = 0;
    // True for a file that is still being written.
    virtual bool IsGrowing() const { return false; }
    // Waits up to `ms` milliseconds for a growing file to grow; here it simply sleeps.
    virtual void WaitForData(int ms);

    int rate() const { return m_rate; }
    std::int32_t peakBound() const { return m_peakBound; }
    int channels() const { return m_channels; }
    std::uint8_t flags() const { return m_flags; }
    SourceStatus status() const { return static_cast<SourceStatus>(m_flags); }
    bool isUnusable() const { return m_flags != 0; }
    std::uint32_t refCount() const { return m_refCount.load(); }

  protected:
    void markStatus(SourceStatus status) { m_flags = static_cast<std::uint8_t>(status); }
    void setPeakBound(std::int32_t peakBound) { m_peakBound = peakBound; }
    // For a filter that changes the rate; `rate` must be positive.
    void setRate(int rate) { m_rate = rate; }

  private:
    friend class SourceRef;

    int m_rate;
    std::int32_t m_peakBound;
    int m_channels;
    std::uint8_t m_flags;
    std::atomic<std::uint32_t> m_refCount{0};
};

// The source of an empty SourceRef and of a file no reader takes: 44100 Hz mono, no frames,
// unusable with the given status, reads silence.
class PlaceholderSource final : public AudioSource {
  public:
    explicit PlaceholderSource(SourceStatus status = SourceStatus::NotSupported);

    void Read(InternalSample* dest, int frames) override;
    std::int64_t GetPosition() const override { return m_position; }
    std::int64_t GetLength() const override { return 0; }
    void Seek(std::int64_t frame) override { m_position = frame < 0 ? 0 : frame; }

  private:
    std::int64_t m_position = 0;
};

// A counted reference to an AudioSource. Never empty: a default or reset reference holds a
// fresh PlaceholderSource. The count is atomic, so copies may live on different threads.
class SourceRef {
  public:
    SourceRef();
    // Takes a source made with new; the reference count starts from the source's current count.
    explicit SourceRef(AudioSource* source);
    SourceRef(const SourceRef& other);
    SourceRef(SourceRef&& other) noexcept;
    SourceRef& operator=(SourceRef other) noexcept;
    ~SourceRef();

    // Drops the held source and holds a fresh PlaceholderSource.
    void reset();

    AudioSource* get() const { return m_source; }
    AudioSource* operator->() const { return m_source; }
    AudioSource& operator*() const { return *m_source; }

  private:
    static void release(AudioSource* source);

    AudioSource* m_source;
};

// Constructs a source of type T and gives the first reference to it.
template <typename T, typename... Args>
SourceRef MakeSource(Args&&... args) {
    return SourceRef(new T(static_cast<Args&&>(args)...));
}

// A source that wraps another: starts with its header (marked SourceUnusable when that source
// is unusable) and passes position, length, seeks, growth and waits on to it.
class SourceFilter : public AudioSource {
  public:
    std::int64_t GetPosition() const override { return m_source->GetPosition(); }
    std::int64_t GetLength() const override { return m_source->GetLength(); }
    void Seek(std::int64_t frame) override { m_source->Seek(frame); }
    bool IsGrowing() const override { return m_source->IsGrowing(); }
    void WaitForData(int ms) override { m_source->WaitForData(ms); }

    const SourceRef& source() const { return m_source; }

  protected:
    explicit SourceFilter(SourceRef source);

    SourceRef m_source;
};

}  // namespace sonaro
