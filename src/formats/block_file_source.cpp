#include "formats/block_file_source.h"

#include <algorithm>
#include <utility>

namespace sonaro {
namespace {

std::uint64_t framesOf(const BlockDecoder& decoder, std::uint64_t blocks, std::uint64_t frames) {
    return std::min(frames, blocks * static_cast<std::uint64_t>(decoder.framesPerBlock()));
}

}  // namespace

BlockFileSource::BlockFileSource(ReadOnlyFile file, std::unique_ptr<BlockDecoder> decoder, int rate,
                                 std::uint64_t dataOffset, std::uint64_t blocks,
                                 std::uint64_t frames, std::optional<GrowthProbe> growth)
    : FileSource(std::move(file), rate, kFullScalePeak, decoder->channels(),
                 static_cast<std::int64_t>(framesOf(*decoder, blocks, frames))),
      m_decoder(std::move(decoder)),
      m_dataOffset(dataOffset),
      m_runBlocks(std::max(1, kMaxBlockFrames / m_decoder->framesPerBlock())),
      m_bytes(static_cast<std::size_t>(m_runBlocks) *
              static_cast<std::size_t>(m_decoder->blockBytes())),
      m_pcm(static_cast<std::size_t>(m_runBlocks) *
            static_cast<std::size_t>(m_decoder->framesPerBlock()) *
            static_cast<std::size_t>(m_decoder->channels())) {
    if (growth.has_value()) {
        growth->dataOffset = dataOffset;
        growth->unitBytes = static_cast<std::uint64_t>(m_decoder->blockBytes());
        growth->unitFrames = static_cast<std::uint64_t>(m_decoder->framesPerBlock());
        followGrowth(*growth);
    }
}

bool BlockFileSource::load(std::uint64_t block) {
    const auto blockBytes = static_cast<std::size_t>(m_decoder->blockBytes());
    // Blocks up to the one holding the last frame (the length may have grown since opening).
    const auto perBlock = static_cast<std::uint64_t>(m_decoder->framesPerBlock());
    const std::uint64_t blocks =
        (static_cast<std::uint64_t>(knownLength()) + perBlock - 1) / perBlock;
    if (block >= blocks) {
        return false;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(m_runBlocks, blocks - block);
    const std::size_t got = file().ReadAt(m_dataOffset + block * blockBytes, m_bytes.data(),
                                          static_cast<std::size_t>(wanted) * blockBytes);
    const std::size_t whole = got / blockBytes;
    m_cachedFirst = block;
    m_cachedCount = whole;
    if (whole == 0) {
        return false;
    }
    if (block != m_nextBlock) {
        m_decoder->Restart();
    }
    m_decoder->Decode(m_bytes.data(), static_cast<int>(whole), m_pcm.data());
    m_nextBlock = block + whole;
    return true;
}

int BlockFileSource::readFrames(std::int64_t first, InternalSample* dest, int frames) {
    const auto perBlock = static_cast<std::uint64_t>(m_decoder->framesPerBlock());
    const auto channels = static_cast<std::size_t>(m_decoder->channels());
    int done = 0;
    while (done < frames) {
        const auto frame = static_cast<std::uint64_t>(first + done);
        const std::uint64_t block = frame / perBlock;
        if (block < m_cachedFirst || block >= m_cachedFirst + m_cachedCount) {
            if (!load(block)) {
                break;
            }
        }
        const std::uint64_t offset = frame - m_cachedFirst * perBlock;
        const auto count = static_cast<int>(
            std::min<std::uint64_t>(frames - done, m_cachedCount * perBlock - offset));
        const std::int16_t* pcm = m_pcm.data() + offset * channels;
        ConvertPcm16ToInternal(
            pcm, dest + static_cast<std::size_t>(done) * channels,
            static_cast<std::int64_t>(count) * static_cast<std::int64_t>(channels));
        done += count;
    }
    return done;
}

}  // namespace sonaro
