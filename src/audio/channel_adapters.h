#pragma once

#include <array>

#include "audio/audio_sink.h"

namespace sonaro {

// Accepts stereo and writes mono into the inner sink: each output sample is (left + right) >> 1
// (arithmetic shift, so left 3 and right -4 give -1). Takes the inner sink's rate and starts at
// its position, so that a writer that already holds audio continues where it stands.
class StereoToMonoAdapter final : public AudioSink {
  public:
    explicit StereoToMonoAdapter(SinkRef inner);

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t frame) override;

  private:
    SinkRef m_inner;
    std::array<InternalSample, kMaxBlockFrames> m_buffer{};
};

// Accepts mono and writes each sample to both channels of the inner sink. Takes the inner sink's
// rate and position.
class MonoToStereoAdapter final : public AudioSink {
  public:
    explicit MonoToStereoAdapter(SinkRef inner);

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t frame) override;

  private:
    SinkRef m_inner;
    std::array<InternalSample, 2 * kMaxBlockFrames> m_buffer{};
};

}  // namespace sonaro
