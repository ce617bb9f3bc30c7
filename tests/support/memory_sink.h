#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_sink.h"

namespace sonaro::test {

// A sink that keeps everything written to it in memory, honouring SeekTo as a file writer does
// (the output ends at the frame seeked to). Also logs each call ("W<frames>", "S<frame>") so that
// tests can check the order of writes and seeks. Thread use as for any sink.
class MemorySink final : public AudioSink {
  public:
    MemorySink(int sampleRate, int channels, bool* destroyed = nullptr);
    ~MemorySink() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t frame) override;

    const std::vector<InternalSample>& samples() const { return m_samples; }
    std::int64_t frames() const;
    // The samples of one channel.
    std::vector<InternalSample> channel(int index) const;
    const std::vector<std::string>& calls() const { return m_calls; }
    int largestWrite() const { return m_largestWrite; }

  private:
    std::vector<InternalSample> m_samples;
    std::vector<std::string> m_calls;
    int m_largestWrite = 0;
    bool* m_destroyed;
};

}  // namespace sonaro::test
