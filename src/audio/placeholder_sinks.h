#pragma once

#include "audio/audio_sink.h"

namespace sonaro {

// The sink of an empty SinkRef: 44100 Hz mono, marked unusable, ignores every write.
class NullSink final : public AudioSink {
  public:
    NullSink() : AudioSink(44100, 1, kFlagUnusable) {}
    void Write(const InternalSample*, int) override {}
    void SeekTo(std::int64_t) override {}
};

// Runs capture without writing anything (the level meter): counts the frames it is given and
// ignores seeks. 11025 Hz mono unless told otherwise.
class DiscardSink final : public AudioSink {
  public:
    explicit DiscardSink(int sampleRate = 11025, int channels = 1)
        : AudioSink(sampleRate, channels) {}
    void Write(const InternalSample*, int frames) override { advancePosition(frames); }
    void SeekTo(std::int64_t) override {}
};

}  // namespace sonaro
