#pragma once

#include <cstdint>

struct gsm_state;

namespace sonaro {

// GSM 06.10 full rate through libgsm in the WAV49 packing (WAV format tag 0x31): 320 samples,
// two 160-sample frames, per 65-byte block. One object encodes or decodes one stream; libgsm
// alternates between the two halves of a block, so blocks must be passed in order.
class GsmCodec {
  public:
    static constexpr int kSamplesPerBlock = 320;
    static constexpr int kBytesPerBlock = 65;

    GsmCodec();
    ~GsmCodec();
    GsmCodec(const GsmCodec&) = delete;
    GsmCodec& operator=(const GsmCodec&) = delete;

    // False when libgsm could not create its state; the other calls then do nothing.
    bool valid() const { return m_state != nullptr; }

    void EncodeBlock(const std::int16_t* pcm, std::uint8_t* block);
    // False when a frame of the block is not a valid GSM frame; the samples are then silence.
    bool DecodeBlock(const std::uint8_t* block, std::int16_t* pcm);

  private:
    gsm_state* m_state;
};

// Average bytes per second of a GSM file: rate × 65 / 320.
inline std::uint32_t GsmAverageBytesPerSecond(std::uint32_t sampleRate) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(sampleRate) *
                                      GsmCodec::kBytesPerBlock / GsmCodec::kSamplesPerBlock);
}

}  // namespace sonaro
