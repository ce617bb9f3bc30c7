#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "support/pulse_server.h"
#include "threads/child_process.h"

namespace sonaro::test {

// Records what a sink of a private sound server plays, from its monitor, with `parecord`
// (44.1 kHz stereo 16-bit). The constructor returns once the monitor delivers (an idle null sink
// starts late), so what is played afterwards is recorded from its start.
class MonitorRecording {
  public:
    static constexpr int kRate = 44100;

    explicit MonitorRecording(PulseServer& server,
                              const std::string& sink = PulseServer::kSinkName);
    ~MonitorRecording();
    MonitorRecording(const MonitorRecording&) = delete;
    MonitorRecording& operator=(const MonitorRecording&) = delete;

    // False when parecord did not start or the monitor delivered nothing.
    bool started() const { return m_started; }
    // Waits until what was played by now has reached the file, stops recording and gives the
    // left channel in internal samples.
    std::vector<InternalSample> Finish();

  private:
    std::size_t bytesSoFar() const;

    std::string m_path;
    std::unique_ptr<ChildProcess> m_recorder;
    bool m_started = false;
};

// The stretches of sound in `samples`: [first, last] sample indexes, split wherever at least
// `gapFrames` samples in a row stay below a twentieth of full scale.
struct SoundSpan {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t frames() const { return last - first + 1; }
};
std::vector<SoundSpan> SoundSpans(const std::vector<InternalSample>& samples, int gapFrames);

}  // namespace sonaro::test
