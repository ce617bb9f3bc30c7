#pragma once

#include <cstddef>
#include <cstdint>

namespace sonaro {

enum class ConvertMode {
    // Whole blocks only; what is left of the source stays for the next call.
    BlockAlign,
    // Whole blocks, then the partial last block (an encoder pads it with silence); the stream
    // then starts afresh, as for a new file.
    End,
};

// One conversion call's buffers. The caller fills the source and destination fields; Convert
// sets sourceUsed and destinationUsed.
struct StreamHeader {
    const std::uint8_t* source = nullptr;
    std::size_t sourceLength = 0;
    std::size_t sourceUsed = 0;
    std::uint8_t* destination = nullptr;
    std::size_t destinationLength = 0;
    std::size_t destinationUsed = 0;
};

// An open conversion between 16-bit PCM and a compressed format, in either direction, made by
// the CodecManager. Used by one thread at a time; allocates only when opened.
class CodecStream {
  public:
    virtual ~CodecStream() = default;

    // Bytes a conversion of `sourceBytes` source bytes (End included) can produce at most.
    virtual std::size_t DestinationSize(std::size_t sourceBytes) const = 0;
    // Converts as much as fits into the destination.
    virtual void Convert(StreamHeader& header, ConvertMode mode) = 0;
};

}  // namespace sonaro
