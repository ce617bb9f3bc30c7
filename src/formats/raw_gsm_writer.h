#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/file_writer.h"

struct gsm_state;

namespace sonaro {

// A headerless ".gsm" file: plain GSM 06.10 frames of 33 bytes for 160 mono samples, as sox and
// the ".gsm" reader take them (8000 Hz by convention; the file cannot say otherwise). The last,
// partial frame is padded with silence.
class RawGsmWriter final : public FileWriter {
  public:
    static constexpr int kSamplesPerFrame = 160;
    static constexpr int kBytesPerFrame = 33;
    static constexpr int kRate = 8000;

    // Marked unusable when the file cannot be created or libgsm cannot start.
    explicit RawGsmWriter(const std::string& path);
    ~RawGsmWriter() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}

  private:
    void encodeFrame();

    gsm_state* m_state;
    std::array<std::int16_t, kSamplesPerFrame> m_samples{};
    int m_filled = 0;
};

}  // namespace sonaro
