#pragma once

#include <FLAC/stream_encoder.h>

#include <string>
#include <vector>

#include "formats/file_writer.h"

namespace sonaro {

// A FLAC file through libFLAC's stream encoder, 16 or 24 bits, the samples exactly those of a
// PCM WAV recording of the same bits. The STREAMINFO block counts no samples while the file is
// written (decoders then read to the end, so the file is valid at every frame); the encoder's
// final STREAMINFO, with the count and MD5 signature, is written over it on close. Not
// trimmable: SeekTo does nothing (a voice-activated recording keeps its silences).
class FlacWriter final : public FileWriter {
  public:
    // Marked unusable when the file cannot be created or the encoder refuses the shape.
    FlacWriter(const std::string& path, int sampleRate, int channels, int bitsPerSample,
               int compressionLevel);
    ~FlacWriter() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}

  private:
    static FLAC__StreamEncoderWriteStatus writeBytes(const FLAC__StreamEncoder*,
                                                     const FLAC__byte buffer[], size_t bytes,
                                                     uint32_t, uint32_t, void* writer);
    static void streamInfo(const FLAC__StreamEncoder*, const FLAC__StreamMetadata* metadata,
                           void* writer);

    FLAC__StreamEncoder* m_encoder = nullptr;
    int m_bits;
    bool m_started = false;
    std::int64_t m_sinceSync = 0;
    // The encoder hands over whole frames (and metadata blocks) one write at a time.
    std::uint64_t m_wholeFramesEnd = 0;
    std::vector<FLAC__int32> m_buffer;  // kMaxBlockFrames frames
};

}  // namespace sonaro
