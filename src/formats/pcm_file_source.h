#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "formats/file_source.h"
#include "formats/sample_coding.h"

namespace sonaro {

// Where the samples of an uncompressed file lie and how they are stored.
struct PcmLayout {
    int rate = 0;
    int channels = 0;
    SampleCoding coding = SampleCoding::Signed16Le;
    // Bytes from one frame to the next: at least channels × BytesPerSample(coding).
    int frameBytes = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t frames = 0;
    // Set for a recording that may still be written.
    std::optional<FileSource::GrowthProbe> growth;
};

// Reads frames of uncompressed or companded samples (WAV PCM and float, AIFF, AU, raw files).
// Its buffer of kMaxBlockFrames frames is allocated when built; Read allocates nothing.
class PcmFileSource final : public FileSource {
  public:
    // `layout.frameBytes` must hold the channels' samples; the caller checks it.
    PcmFileSource(ReadOnlyFile file, const PcmLayout& layout);

  private:
    int readFrames(std::int64_t first, InternalSample* dest, int frames) override;

    PcmLayout m_layout;
    std::vector<std::uint8_t> m_bytes;
};

// True when `layout` describes readable frames: a positive rate, 1 to 255 channels and frames
// wide enough for their samples.
bool IsReadableLayout(const PcmLayout& layout);

}  // namespace sonaro
