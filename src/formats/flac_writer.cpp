#include "formats/flac_writer.h"

#include <unistd.h>

#include <algorithm>
#include <array>

#include "formats/byte_order.h"

namespace sonaro {
namespace {

// The 34 bytes of a STREAMINFO block.
std::array<std::uint8_t, 34> encodeStreamInfo(const FLAC__StreamMetadata_StreamInfo& info) {
    std::array<std::uint8_t, 34> out{};
    PutBe16(out.data(), info.min_blocksize);
    PutBe16(out.data() + 2, info.max_blocksize);
    PutBe32(out.data() + 4, info.min_framesize << 8);  // 24 bits; the next field overwrites
    PutBe32(out.data() + 7, info.max_framesize << 8);
    // 20 bits rate, 3 bits channels - 1, 5 bits bits - 1, 36 bits sample count.
    const std::uint64_t packed =
        (std::uint64_t{info.sample_rate} << 44) | (std::uint64_t{info.channels - 1u} << 41) |
        (std::uint64_t{info.bits_per_sample - 1u} << 36) | (info.total_samples & 0xFFFFFFFFFull);
    PutBe32(out.data() + 10, static_cast<std::uint32_t>(packed >> 32));
    PutBe32(out.data() + 14, static_cast<std::uint32_t>(packed));
    std::copy(std::begin(info.md5sum), std::end(info.md5sum), out.begin() + 18);
    return out;
}

}  // namespace

FlacWriter::FlacWriter(const std::string& path, int sampleRate, int channels, int bitsPerSample,
                       int compressionLevel)
    : FileWriter(sampleRate, channels),
      m_bits(bitsPerSample > 16 ? 24 : 16),
      m_buffer(static_cast<std::size_t>(kMaxBlockFrames) * std::max(channels, 1)) {
    m_encoder = FLAC__stream_encoder_new();
    if (m_encoder == nullptr || channels < 1 || channels > 2 ||
        !FLAC__stream_encoder_set_channels(m_encoder, static_cast<uint32_t>(channels)) ||
        !FLAC__stream_encoder_set_bits_per_sample(m_encoder, static_cast<uint32_t>(m_bits)) ||
        !FLAC__stream_encoder_set_sample_rate(m_encoder, static_cast<uint32_t>(sampleRate)) ||
        !FLAC__stream_encoder_set_compression_level(
            m_encoder, static_cast<uint32_t>(std::clamp(compressionLevel, 0, 8)))) {
        refuseFormat("FLAC cannot record " + std::to_string(sampleRate) + " Hz with " +
                     std::to_string(channels) + " channel(s).");
        return;
    }
    // The encoder's first bytes ("fLaC" and the STREAMINFO) arrive through writeBytes during
    // the init; the file is created before it.
    static constexpr std::uint8_t kNothing[1] = {};
    if (!openFile(path, kNothing, 0)) {
        return;
    }
    if (FLAC__stream_encoder_init_stream(m_encoder, writeBytes, nullptr, nullptr, streamInfo,
                                         this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        refuseFormat("FLAC cannot record " + std::to_string(sampleRate) + " Hz with " +
                     std::to_string(channels) + " channel(s).");
        closeFile();
        ::unlink(path.c_str());
        return;
    }
    m_started = true;
}

FlacWriter::~FlacWriter() {
    if (m_started) {
        // Calls streamInfo with the final STREAMINFO when the stream ended well.
        FLAC__stream_encoder_finish(m_encoder);
        // After a failed write only whole frames stay.
        truncateTo(m_wholeFramesEnd);
    }
    if (m_encoder != nullptr) {
        FLAC__stream_encoder_delete(m_encoder);
    }
    closeFile();
}

FLAC__StreamEncoderWriteStatus FlacWriter::writeBytes(const FLAC__StreamEncoder*,
                                                      const FLAC__byte buffer[], size_t bytes,
                                                      uint32_t, uint32_t, void* writer) {
    auto* self = static_cast<FlacWriter*>(writer);
    if (!self->appendData(buffer, bytes)) {
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    self->m_wholeFramesEnd = self->fileEnd();
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

void FlacWriter::streamInfo(const FLAC__StreamEncoder*, const FLAC__StreamMetadata* metadata,
                            void* writer) {
    auto* self = static_cast<FlacWriter*>(writer);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || self->hasFailed()) {
        return;
    }
    // "fLaC" and the block header come first.
    const std::array<std::uint8_t, 34> info = encodeStreamInfo(metadata->data.stream_info);
    self->rewriteAt(8, info.data(), info.size());
}

void FlacWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    while (frames > 0 && m_started && !hasFailed()) {
        const int chunk = std::min(frames, kMaxBlockFrames);
        const int count = chunk * channels();
        for (int i = 0; i < count; ++i) {
            // The same values as the PCM WAV writer's 16-bit and 24-bit samples.
            m_buffer[i] = m_bits == 16 ? ToPcm16(samples[i]) : SaturateInternal(samples[i]) * 16;
        }
        if (!FLAC__stream_encoder_process_interleaved(m_encoder, m_buffer.data(),
                                                      static_cast<uint32_t>(chunk))) {
            return;
        }
        samples += count;
        frames -= chunk;
        m_sinceSync += chunk;
        if (m_sinceSync >= std::int64_t{kCheckpointSeconds} * sampleRate()) {
            m_sinceSync = 0;
            syncData();
        }
    }
}

}  // namespace sonaro
