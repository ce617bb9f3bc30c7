#include "formats/aiff_writer.h"

#include <algorithm>

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

void AiffWriter::encodeHeader(std::optional<std::uint64_t> dataBytes, bool stillOpen,
                              std::uint8_t* out) const {
    EncodeAiffHeader(channels(), m_eightBit ? 8 : 16, sampleRate(), dataBytes, out, stillOpen);
}

void AiffWriter::convert(const InternalSample* samples, int count, std::uint8_t* out) const {
    for (int i = 0; i < count; ++i) {
        if (m_eightBit) {
            const std::int32_t rounded = (SaturateInternal(samples[i]) + 8) >> 12;
            out[i] = static_cast<std::uint8_t>(std::min(rounded, 127));
        } else {
            PutBe16(out + 2 * i, static_cast<std::uint16_t>(ToPcm16(samples[i])));
        }
    }
}

SinkRef CreateAiffWriter(const std::string& path, int sampleRate, int channels, int sampleSize) {
    return MakeSink<AiffWriter>(path, sampleRate, channels, sampleSize);
}

}  // namespace sonaro
