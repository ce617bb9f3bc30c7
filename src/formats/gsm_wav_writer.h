#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/file_writer.h"
#include "formats/gsm_codec.h"

namespace sonaro {

// A mono WAV file of GSM 06.10 (tag 0x31) in 65-byte blocks of 320 samples, behind the 48-byte
// header. Not trimmable: SeekTo does nothing. The last, partial block is padded with silence.
class GsmWavWriter final : public FileWriter {
  public:
    // Marked unusable when the file cannot be created or the encoder cannot start.
    GsmWavWriter(const std::string& path, int sampleRate);
    ~GsmWavWriter() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}

  private:
    void encodeBlock();
    void checkpoint() override;

    GsmCodec m_codec;
    std::array<std::int16_t, GsmCodec::kSamplesPerBlock> m_samples{};
    int m_filled = 0;
};

}  // namespace sonaro
