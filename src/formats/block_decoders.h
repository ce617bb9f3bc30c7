#pragma once

#include <cstdint>
#include <memory>

#include "formats/codec_stream.h"

namespace sonaro {

// The most frames one block may decode to (a 64 KiB ADPCM block holds about 131000).
inline constexpr int kMaxCodecBlockFrames = 1 << 18;

// Turns fixed-size blocks of a compressed stream into interleaved 16-bit frames: the codecs of
// WAV files, raw GSM and Dialogic ADPCM. Blocks arrive in file order; Restart comes first when a
// block does not follow the last one decoded (after a seek).
class BlockDecoder {
  public:
    BlockDecoder(int blockBytes, int framesPerBlock, int channels)
        : m_blockBytes(blockBytes), m_framesPerBlock(framesPerBlock), m_channels(channels) {}
    virtual ~BlockDecoder() = default;

    int blockBytes() const { return m_blockBytes; }
    int framesPerBlock() const { return m_framesPerBlock; }
    int channels() const { return m_channels; }

    // Decodes `blocks` whole blocks into blocks × framesPerBlock frames. A block that does not
    // decode gives silence.
    virtual void Decode(const std::uint8_t* in, int blocks, std::int16_t* out) = 0;
    virtual void Restart() {}

  private:
    int m_blockBytes;
    int m_framesPerBlock;
    int m_channels;
};

// A decoding stream of the codec manager over blocks of `blockAlign` bytes; null when the stream
// does not turn one block into a whole number of frames.
std::unique_ptr<BlockDecoder> MakeCodecStreamDecoder(std::unique_ptr<CodecStream> stream,
                                                     int blockAlign, int channels);
// GSM 06.10 in the WAV packing: 65-byte blocks of 320 mono samples. Null when libgsm cannot
// start.
std::unique_ptr<BlockDecoder> MakeGsmWavDecoder();
// Plain GSM 06.10 frames as ".gsm" files hold them: 33 bytes of 160 mono samples.
std::unique_ptr<BlockDecoder> MakeGsmFrameDecoder();
// Dialogic (OKI) 4-bit ADPCM of 12-bit samples, high nibble first; with several channels the
// nibbles take turns.
std::unique_ptr<BlockDecoder> MakeDialogicAdpcmDecoder(int channels);

}  // namespace sonaro
