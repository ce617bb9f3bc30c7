#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_manager.h"
#include "formats/file_writer.h"
#include "formats/wave_format.h"

namespace sonaro {

// A WAV file in a compressed format, encoded through a conversion stream of the codec manager:
// the target format's chunk (with its extra bytes) behind "RIFF"/"WAVE", then the blocks. Not
// trimmable: SeekTo does nothing (a voice-activated recording keeps its silences).
//
// Samples gather in a source buffer of kMaxBlockFrames frames of 16-bit PCM; whole blocks are
// converted as they fill, the partial last block on close (padded with silence).
class CompressedWavWriter final : public FileWriter {
  public:
    // Marked unusable when the file cannot be created or no stream converts 16-bit PCM of the
    // target's rate and channel count (1 when the target says 0) into the target.
    CompressedWavWriter(const std::string& path, const WaveFormat& target,
                        const CodecManager& codecs);
    ~CompressedWavWriter() override;

    void Write(const InternalSample* samples, int frames) override;
    void SeekTo(std::int64_t) override {}

  private:
    // Converts what the source buffer holds; false when the stream took nothing from a full
    // buffer.
    bool convert(ConvertMode mode);
    std::vector<std::uint8_t> header(std::optional<std::uint64_t> dataBytes,
                                     bool stillOpen = false) const;
    std::size_t placeholderBytes() const;
    void checkpoint() override;

    WaveFormat m_target;
    std::unique_ptr<CodecStream> m_stream;
    std::vector<std::uint8_t> m_source;
    std::size_t m_sourceFilled = 0;
    std::vector<std::uint8_t> m_destination;
    std::uint64_t m_total = 0;  // compressed bytes fully written
};

}  // namespace sonaro
