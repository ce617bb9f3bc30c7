#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonaro {

// A regular file opened for reading at explicit offsets. Opening never blocks: the file is opened
// with O_NONBLOCK and anything that is not a regular file (a FIFO, a device, a folder) is refused
// before a byte is read, so pointing the player at a FIFO cannot hang it.
class ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // False, with the file closed, when it cannot be opened or is not a regular file.
    bool Open(const std::string& path);
    bool isOpen() const { return m_fd >= 0; }
    // The size when opened; what the readers measure data against.
    std::uint64_t size() const { return m_size; }
    int descriptor() const { return m_fd; }
    // The size now, for a file that another program may still be writing; 0 when unknown.
    std::uint64_t currentSize() const;
    // Seconds since the file's data last changed; large when unknown.
    double secondsSinceModified() const;

    // Reads up to `bytes` bytes at `offset`; fewer at the end of the file or on an error.
    std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t bytes) const;
    // Reads exactly `bytes` bytes at `offset`, or returns false.
    bool ReadExactly(std::uint64_t offset, void* out, std::size_t bytes) const {
        return ReadAt(offset, out, bytes) == bytes;
    }

  private:
    void close();

    int m_fd = -1;
    std::uint64_t m_size = 0;
};

}  // namespace sonaro
