#pragma once

#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/codec_manager.h"
#include "threads/child_process.h"

namespace sonaro::test {

// Makes recordings with the program's own writers, chosen by the file's extension: WAV 16-bit
// mono at 8000 Hz, MP3 44.1 kHz stereo through lame, AIFF (".aiff" or ".aif") 11025 Hz mono.
class RecordingMaker {
  public:
    bool hasMp3Encoder() const { return !m_lame.empty(); }
    // `seconds` of silence, or `samples` (interleaved in the file's channel count) when given.
    // False when the writer could not be opened.
    bool Make(const std::string& path, double seconds,
              const std::vector<InternalSample>* samples = nullptr) const;

  private:
    CodecManager m_codecs;
    std::string m_lame = FindProgramOnPath("lame");
};

}  // namespace sonaro::test
