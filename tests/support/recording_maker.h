#pragma once

#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/codec_manager.h"
#include "formats/wave_format.h"
#include "threads/child_process.h"

namespace sonaro::test {

// Makes recordings with the program's own writers, chosen by the file's extension: WAV 16-bit
// mono at 8000 Hz (or any WAV format given), MP3 44.1 kHz stereo through lame, AIFF (".aiff" or
// ".aif") 11025 Hz mono, FLAC the recording defaults (44.1 kHz stereo, 16 bits).
class RecordingMaker {
  public:
    bool hasMp3Encoder() const { return !m_lame.empty(); }
    // `seconds` of silence, or `samples` (interleaved in the file's channel count) when given.
    // False when the writer could not be opened.
    bool Make(const std::string& path, double seconds,
              const std::vector<InternalSample>* samples = nullptr) const;
    // A WAV file of `seconds` of silence in `format`.
    bool MakeWav(const std::string& path, double seconds, const WaveFormat& format) const;

    // Every WAV format the program records, at 8000 Hz mono: PCM of 8 and 16 bits, GSM 06.10
    // and each format of the codec manager's drivers.
    std::vector<WaveFormat> WavFormats() const;

  private:
    CodecManager m_codecs;
    std::string m_lame = FindProgramOnPath("lame");
};

}  // namespace sonaro::test
