#pragma once

#include <string>

#include "formats/uncompressed_writer.h"

namespace sonaro {

enum class PcmSampleType { Unsigned8, Signed16, Signed24, Signed32, Float32 };

// A WAV file of uncompressed samples with the 46-byte header: PCM (tag 1) in 8, 16, 24 or 32
// bits, or 32-bit IEEE float (tag 3, full scale ±1.0). No saturation: samples are cut to the
// field width.
class PcmWavWriter final : public UncompressedWriter {
  public:
    // Marked unusable when the file cannot be created.
    PcmWavWriter(const std::string& path, int sampleRate, int channels, PcmSampleType type);
    ~PcmWavWriter() override;

  private:
    void encodeHeader(std::optional<std::uint64_t> dataBytes, bool stillOpen,
                      std::uint8_t* out) const override;
    void convert(const InternalSample* samples, int count, std::uint8_t* out) const override;

    PcmSampleType m_type;
};

}  // namespace sonaro
