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
    void Read(InternalSample* dest, int frames) final;
    std::int64_t GetPosition() const final { return m_position; }
    std::int64_t GetLength() const final { return m_length; }
    void Seek(std::int64_t frame) final { m_position = frame < 0 ? 0 : frame; }

  protected:
    FileSource(ReadOnlyFile file, int rate, std::int32_t peakBound, int channels,
               std::int64_t length);

    // Fills `frames` frames (at most kMaxBlockFrames, all before the length) starting at frame
    // `first`. Returns how many it could fill; the rest becomes silence (a file that shrank or
    // a block that did not decode).
    virtual int readFrames(std::int64_t first, InternalSample* dest, int frames) = 0;

    const ReadOnlyFile& file() const { return m_file; }

  private:
    ReadOnlyFile m_file;
    std::int64_t m_length;
    std::int64_t m_position = 0;
};

}  // namespace sonaro
