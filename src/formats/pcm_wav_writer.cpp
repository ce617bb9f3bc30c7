#include "formats/pcm_wav_writer.h"

#include <algorithm>
#include <bit>

#include "formats/byte_order.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kPcmTag = 1;
constexpr std::uint16_t kFloatTag = 3;

int bytesPerSample(PcmSampleType type) {
    switch (type) {
        case PcmSampleType::Unsigned8:
            return 1;
        case PcmSampleType::Signed16:
            return 2;
        case PcmSampleType::Signed24:
            return 3;
        case PcmSampleType::Signed32:
        case PcmSampleType::Float32:
            return 4;
    }
    return 2;
}

// Shifts and sums in unsigned arithmetic: the results are the low bits of the arithmetic
// expressions, without overflow on any input.
std::uint32_t bits(InternalSample x) {
    return static_cast<std::uint32_t>(x);
}

}  // namespace

PcmWavWriter::PcmWavWriter(const std::string& path, int sampleRate, int channels,
                           PcmSampleType type)
    : UncompressedWriter(sampleRate, channels, bytesPerSample(type), kPcmWavHeaderBytes),
      m_type(type) {
    open(path);
}

PcmWavWriter::~PcmWavWriter() {
    finish();
}

void PcmWavWriter::encodeHeader(std::optional<std::uint64_t> dataBytes, bool stillOpen,
                                std::uint8_t* out) const {
    const std::uint16_t tag = m_type == PcmSampleType::Float32 ? kFloatTag : kPcmTag;
    EncodePcmWavHeader(tag, channels(), sampleRate(), 8 * bytesPerSample(m_type), dataBytes, out,
                       stillOpen);
}

void PcmWavWriter::convert(const InternalSample* samples, int count, std::uint8_t* out) const {
    switch (m_type) {
        case PcmSampleType::Unsigned8:
            for (int i = 0; i < count; ++i) {
                const std::int32_t rounded = (SaturateInternal(samples[i]) + 2048) >> 12;
                out[i] = static_cast<std::uint8_t>(std::min(rounded, 127) + 128);
            }
            break;
        case PcmSampleType::Signed16:
            for (int i = 0; i < count; ++i) {
                PutLe16(out + 2 * i, static_cast<std::uint16_t>(ToPcm16(samples[i])));
            }
            break;
        case PcmSampleType::Signed24:
            for (int i = 0; i < count; ++i) {
                const std::uint32_t value = bits(SaturateInternal(samples[i])) << 4;
                out[3 * i] = static_cast<std::uint8_t>(value);
                out[3 * i + 1] = static_cast<std::uint8_t>(value >> 8);
                out[3 * i + 2] = static_cast<std::uint8_t>(value >> 16);
            }
            break;
        case PcmSampleType::Signed32:
            for (int i = 0; i < count; ++i) {
                PutLe32(out + 4 * i, bits(SaturateInternal(samples[i])) << 12);
            }
            break;
        case PcmSampleType::Float32:
            for (int i = 0; i < count; ++i) {
                const float value = static_cast<float>(samples[i]) * (1.0f / 524288.0f);
                PutLe32(out + 4 * i, std::bit_cast<std::uint32_t>(value));
            }
            break;
    }
}

}  // namespace sonaro
