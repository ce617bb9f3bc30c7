#pragma once

#include <string>

#include "formats/uncompressed_writer.h"

namespace sonaro {

// A big-endian AIFF file of 8-bit or 16-bit signed samples behind the 54-byte header. Trimmable
// like the PCM WAV writer.
class AiffWriter final : public UncompressedWriter {
  public:
    // 8-bit samples when `sampleSize` is 8 or less, otherwise 16-bit. Marked unusable when the
    // file cannot be created.
    AiffWriter(const std::string& path, int sampleRate, int channels, int sampleSize);
    ~AiffWriter() override;

  private:
    void encodeHeader(std::optional<std::uint64_t> dataBytes, bool stillOpen,
                      std::uint8_t* out) const override;
    void convert(const InternalSample* samples, int count, std::uint8_t* out) const override;

    bool m_eightBit;
};

// The AIFF writer as a counted sink.
SinkRef CreateAiffWriter(const std::string& path, int sampleRate, int channels, int sampleSize);

}  // namespace sonaro
