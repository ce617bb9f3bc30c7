#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_sink.h"
#include "formats/format_settings.h"
#include "threads/child_process.h"

namespace sonaro {

// The encoding sample rate for `inputRate` under the MP3 settings: at most 48000, 44100 for a
// high maximum bit rate from a low input rate, 22050 for a minimum below 32 kbit/s, snapped to
// the rates the encoder offers.
int ChooseMp3SampleRate(int inputRate, const Mp3Settings& settings);
// The input channel count, or 1 when the (minimum) bit rate is below 24 kbit/s.
int ChooseMp3Channels(int inputChannels, const Mp3Settings& settings);

// The encoder's argument vector: encoder path, options, "-", output path, e.g.
// lame -m j -b 128 -h -r -x -s 44.100 -S - out.mp3.
std::vector<std::string> BuildMp3EncoderArguments(const std::string& encoderPath,
                                                  const Mp3Settings& settings, int sampleRate,
                                                  int channels, const std::string& outputPath);

// Feeds raw 16-bit PCM through a pipe into a running encoder that writes the MP3 file itself.
// Write blocks while the pipe is full, pacing the capture thread to the encoder. Not trimmable.
//
// Destruction closes the pipe and waits up to `finishWaitMs` for the encoder to finish the file;
// an encoder that takes longer keeps running and is reaped by a background thread when it ends,
// so no zombie process is left behind. An output file still empty once the encoder ended (it
// could not start or died before writing) is removed.
class Mp3Writer final : public AudioSink {
  public:
    static constexpr int kFinishWaitMs = 5000;

    // Marked unusable when the encoder cannot be started.
    Mp3Writer(std::string outputPath, const std::vector<std::string>& arguments, int sampleRate,
              int channels, int finishWaitMs = kFinishWaitMs);
    ~Mp3Writer() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}
    // Set when the encoder stopped taking input (it crashed or could not write the file).
    std::string WriteError() const override;

    int encoderPid() const { return m_encoder != nullptr ? m_encoder->pid() : 0; }

  private:
    std::string m_outputPath;
    std::unique_ptr<ChildProcess> m_encoder;
    std::vector<std::uint8_t> m_buffer;  // kMaxBlockFrames frames of 16-bit samples
    int m_finishWaitMs;
    std::string m_error;  // written once, before m_failed is set
    std::atomic<bool> m_failed{false};
};

// An MP3 writer for `path` fed with `inputRate` Hz and `inputChannels` channels through the
// encoder program `encoderPath` (the "mp3el" component); a NullSink when no encoder is given or
// the file cannot be created, an unusable writer when the encoder cannot be started.
SinkRef CreateMp3Writer(const std::string& encoderPath, const std::string& path,
                        const Mp3Settings& settings, int inputRate, int inputChannels);

}  // namespace sonaro
