#include "formats/aiff_writer.h"

#include "formats/aiff_header.h"
#include "formats/byte_order.h"

namespace sonaro {

AiffWriter::AiffWriter(const std::string& path, int sampleRate, int channels, int sampleSize)
    : UncompressedWriter(sampleRate, channels, sampleSize <= 8 ? 1 : 2, kAiffHeaderBytes),
      m_eightBit(sampleSize <= 8) {
    open(path);
}

AiffWriter::~AiffWriter() {
    finish();
}

void AiffWriter::encodeHeader(std::optional<std::uint64_t> dataBytes, std::uint8_t* out) const {
    EncodeAiffHeader(channels(), m_eightBit ? 8 : 16, sampleRate(), dataBytes, out);
}

void AiffWriter::convert(const InternalSample* samples, int count, std::uint8_t* out) const {
    for (int i = 0; i < count; ++i) {
        const auto rounded = static_cast<std::int32_t>(static_cast<std::uint32_t>(samples[i]) + 8);
        if (m_eightBit) {
            out[i] = static_cast<std::uint8_t>(rounded >> 12);
        } else {
            PutBe16(out + 2 * i, static_cast<std::uint32_t>(rounded >> 4));
        }
    }
}

SinkRef CreateAiffWriter(const std::string& path, int sampleRate, int channels, int sampleSize) {
    return MakeSink<AiffWriter>(path, sampleRate, channels, sampleSize);
}

}  // namespace sonaro
