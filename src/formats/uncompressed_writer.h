#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/file_writer.h"

namespace sonaro {

// The trimmable writers of uncompressed samples (PCM and float WAV, AIFF): a fixed-size header,
// then frames of `frameBytes` bytes. SeekTo cuts the file back; closing rewrites the header with
// the size of the whole frames on disk; so does each checkpoint, in the open-state form.
//
// A derived class opens the file with open() in its constructor and calls finish() in its
// destructor (the header routine is its own).
class UncompressedWriter : public FileWriter {
  public:
    void Write(const InternalSample* samples, int frames) override;
    // Ignored beyond the position; a negative frame counts as 0.
    void SeekTo(std::int64_t frame) override;

  protected:
    UncompressedWriter(int sampleRate, int channels, int bytesPerSample, std::size_t headerBytes);

    // `dataBytes` empty: the header of an open file; `stillOpen`: a checkpoint's.
    virtual void encodeHeader(std::optional<std::uint64_t> dataBytes, bool stillOpen,
                              std::uint8_t* out) const = 0;
    // Converts `count` internal samples into count × bytesPerSample bytes.
    virtual void convert(const InternalSample* samples, int count, std::uint8_t* out) const = 0;

    // A shape without channels or rate marks the sink unusable and creates no file.
    void open(const std::string& path);
    void finish();

    int frameBytes() const { return m_frameBytes; }

  private:
    std::uint64_t dataBytesOnDisk() const;
    void checkpoint() override;

    int m_frameBytes;
    std::size_t m_headerBytes;
    std::vector<std::uint8_t> m_buffer;  // kMaxBlockFrames frames
};

}  // namespace sonaro
