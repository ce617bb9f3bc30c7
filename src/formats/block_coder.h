#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/wave_format.h"

namespace sonaro {

// Converts fixed-size blocks of bytes: little-endian 16-bit PCM into a compressed format's
// blocks, or back. The pieces the codec manager builds its streams from.
class BlockCoder {
  public:
    BlockCoder(std::size_t inputBytes, std::size_t outputBytes)
        : m_inputBytes(inputBytes), m_outputBytes(outputBytes) {}
    virtual ~BlockCoder() = default;

    std::size_t inputBytes() const { return m_inputBytes; }
    std::size_t outputBytes() const { return m_outputBytes; }

    virtual void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) = 0;
    // Forgets what earlier blocks left behind (an encoder's adapted step sizes).
    virtual void Restart() {}

  private:
    std::size_t m_inputBytes;
    std::size_t m_outputBytes;
};

// Coders for the compressed format `codec` (tags 6, 7, 0x11 and 2); null when the tag is not one
// of them or the format's fields do not describe a valid stream (channels 1 or 2, a positive
// rate, the tag's bit depth, a usable block size).
std::unique_ptr<BlockCoder> MakeBlockEncoder(const WaveFormat& codec);
std::unique_ptr<BlockCoder> MakeBlockDecoder(const WaveFormat& codec);

}  // namespace sonaro
