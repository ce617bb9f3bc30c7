#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "formats/block_decoders.h"
#include "formats/file_source.h"

namespace sonaro {

// Reads a compressed stream of fixed-size blocks through a BlockDecoder: GSM and codec-manager
// WAV files, raw GSM and Dialogic ADPCM. About kMaxBlockFrames frames of blocks are decoded at a
// time and kept, so sequential reads decode every block once; a read elsewhere restarts the
// decoder at the block holding its first frame. Buffers are allocated when built.
class BlockFileSource final : public FileSource {
  public:
    // `frames` may cut the stream short of its whole blocks (a "fact" count); it is limited to
    // what the blocks hold.
    BlockFileSource(ReadOnlyFile file, std::unique_ptr<BlockDecoder> decoder, int rate,
                    std::uint64_t dataOffset, std::uint64_t blocks, std::uint64_t frames,
                    std::optional<GrowthProbe> growth = std::nullopt);

  private:
    int readFrames(std::int64_t first, InternalSample* dest, int frames) override;
    // Decodes the run of blocks starting at `block`; false when none could be read.
    bool load(std::uint64_t block);

    std::unique_ptr<BlockDecoder> m_decoder;
    std::uint64_t m_dataOffset;
    int m_runBlocks;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::int16_t> m_pcm;
    std::uint64_t m_cachedFirst = 0;
    std::uint64_t m_cachedCount = 0;
    std::uint64_t m_nextBlock = 0;  // the block the decoder expects next
};

}  // namespace sonaro
