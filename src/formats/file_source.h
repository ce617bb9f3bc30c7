#pragma once

#include <cstdint>

#include "audio/audio_source.h"
#include "formats/read_only_file.h"

namespace sonaro {

// The part every file reader shares: a position within a fixed length in frames, reads cut into
// blocks of at most kMaxBlockFrames frames, and silence past the end. The position advances by
// every frame read, silence included, so a filter's arithmetic on positions stays true.
class FileSource : public AudioSource {
  public:
    // A recording still being written: a header size field that still holds the writer's
    // open-state value, and a file changed within kGrowingSeconds. While it grows, the length
    // follows the file's size in whole frames; once the writer completes the header, the length
    // is measured one last time. A file cut short by a crash keeps its open-state header, but
    // stops changing, so it stops counting as growing.
    struct GrowthProbe {
        std::uint64_t fieldOffset = 0;
        std::uint32_t openValue = 0;
        bool bigEndian = false;
        std::uint64_t dataOffset = 0;
        // The data grows in units of `unitBytes` bytes holding `unitFrames` frames each (one
        // frame, or a compressed block).
        std::uint64_t unitBytes = 1;
        std::uint64_t unitFrames = 1;
    };
    static constexpr double kGrowingSeconds = 10.0;

    void Read(InternalSample* dest, int frames) final;
    std::int64_t GetPosition() const final { return m_position; }
    std::int64_t GetLength() const final;
    void Seek(std::int64_t frame) final { m_position = frame < 0 ? 0 : frame; }
    bool IsGrowing() const final;

  protected:
    FileSource(ReadOnlyFile file, int rate, std::int32_t peakBound, int channels,
               std::int64_t length);

    // Fills `frames` frames (at most kMaxBlockFrames, all before the length) starting at frame
    // `first`. Returns how many it could fill; the rest becomes silence (a file that shrank or
    // a block that did not decode).
    virtual int readFrames(std::int64_t first, InternalSample* dest, int frames) = 0;

    const ReadOnlyFile& file() const { return m_file; }
    // Follows a file still being written.
    void followGrowth(const GrowthProbe& probe);
    // The length as last measured.
    std::int64_t knownLength() const { return m_length; }

  private:
    // Re-measures the length while the file may grow; false once it is complete.
    bool refreshGrowth() const;

    ReadOnlyFile m_file;
    mutable std::int64_t m_length;
    mutable bool m_following = false;
    GrowthProbe m_probe;
    std::int64_t m_position = 0;
};

}  // namespace sonaro
