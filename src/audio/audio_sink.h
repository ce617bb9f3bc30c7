#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/audio_samples.h"

namespace sonaro {

// The write side of an audio stream: file writers and the converters placed in front of them.
// Blocks are interleaved internal samples of at most kMaxBlockFrames frames in the sink's own
// rate and channel count.
//
// Held through SinkRef; the last reference destroys it. Write and SeekTo are called by one thread
// at a time (the capture thread while it runs, otherwise the owner).
class AudioSink {
  public:
    static constexpr std::uint8_t kFlagUnusable = 0x01;
    // With kFlagUnusable: the sink cannot take its format at all (a rate, channel count or codec
    // that cannot record), as opposed to a file that could not be created. WriteError says why.
    static constexpr std::uint8_t kFlagFormatRefused = 0x02;

    AudioSink(int sampleRate, int channels, std::uint8_t flags = 0)
        : m_sampleRate(sampleRate), m_channels(channels), m_flags(flags) {}
    virtual ~AudioSink() = default;
    AudioSink(const AudioSink&) = delete;
    AudioSink& operator=(const AudioSink&) = delete;

    // Appends `frames` frames and advances position() by `frames`.
    virtual void Write(const InternalSample* samples, int frames) = 0;
    // Makes `frame` the new end of the output: later writes continue there and anything written
    // beyond it is discarded.
    virtual void SeekTo(std::int64_t frame) = 0;

    // Frames written so far (after a SeekTo, the frame seeked to plus frames written since).
    std::int64_t position() const { return m_position.load(std::memory_order_relaxed); }
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }
    std::uint8_t flags() const { return m_flags; }
    bool isUnusable() const { return (m_flags & kFlagUnusable) != 0; }
    bool isFormatRefused() const { return (m_flags & kFlagFormatRefused) != 0; }
    std::uint32_t refCount() const { return m_refCount.load(); }

    // The first failure to store what was written (a full disk), as a message; empty while there
    // was none. File writers record it; any thread may ask.
    virtual std::string WriteError() const { return {}; }

  protected:
    void setPosition(std::int64_t frames) { m_position.store(frames, std::memory_order_relaxed); }
    void advancePosition(int frames) { setPosition(position() + frames); }
    void markUnusable() { m_flags |= kFlagUnusable; }
    void markFormatRefused() { m_flags |= kFlagUnusable | kFlagFormatRefused; }

  private:
    friend class SinkRef;

    // Read by the user-interface thread while the capture thread writes: atomic, relaxed.
    std::atomic<std::int64_t> m_position{0};
    int m_sampleRate;
    int m_channels;
    std::uint8_t m_flags;
    std::atomic<std::uint32_t> m_refCount{0};
};

// A counted reference to an AudioSink. Never empty: a default or reset reference holds a fresh
// NullSink. Copies may live on different threads; the count is atomic.
class SinkRef {
  public:
    SinkRef();
    // Takes a sink made with new; the reference count starts from the sink's current count.
    explicit SinkRef(AudioSink* sink);
    SinkRef(const SinkRef& other);
    SinkRef(SinkRef&& other) noexcept;
    SinkRef& operator=(SinkRef other) noexcept;
    ~SinkRef();

    // Drops the held sink and holds a fresh NullSink.
    void reset();

    AudioSink* get() const { return m_sink; }
    AudioSink* operator->() const { return m_sink; }
    AudioSink& operator*() const { return *m_sink; }

  private:
    static void release(AudioSink* sink);

    AudioSink* m_sink;
};

// Constructs a sink of type T and gives the first reference to it.
template <typename T, typename... Args>
SinkRef MakeSink(Args&&... args) {
    return SinkRef(new T(static_cast<Args&&>(args)...));
}

}  // namespace sonaro
