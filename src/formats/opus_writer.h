#pragma once

#include <string>
#include <vector>

#include "formats/file_writer.h"

struct OggOpusEnc;

namespace sonaro {

// An Ogg Opus file through libopusenc at 48000 Hz. The header pages are written when the file
// opens and Ogg pages are self-delimiting, so the file decodes up to its last whole page at every
// instant; audio pages go out at least every half second, and the file is synced every
// kCheckpointSeconds. Not trimmable: SeekTo does
// nothing.
class OpusWriter final : public FileWriter {
  public:
    static constexpr int kSampleRate = 48000;

    // `bitRate` in kbit/s; `voice` tunes the encoder for speech instead of general audio. Marked
    // unusable when the file cannot be created or the encoder refuses the settings.
    OpusWriter(const std::string& path, int channels, int bitRate, bool voice, int complexity);
    ~OpusWriter() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}

  private:
    static int writeBytes(void* writer, const unsigned char* bytes, int length);
    static int closeStream(void* writer);

    OggOpusEnc* m_encoder = nullptr;
    std::int64_t m_sinceSync = 0;
    std::vector<short> m_buffer;  // kMaxBlockFrames frames
};

}  // namespace sonaro
