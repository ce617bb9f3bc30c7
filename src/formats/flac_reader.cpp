#include "formats/flac_reader.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/file_source.h"

namespace sonaro {
namespace {

// A STREAMINFO count above this many frames per byte of the file is checked by decoding: the
// encoder's silence takes about 300 at its usual block size of 4096.
constexpr std::uint64_t kMaxFramesPerByte = 2048;

SourceRef failed(SourceStatus status) {
    return MakeSource<PlaceholderSource>(status);
}

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};
using Decoder = std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter>;

// The decoder's view of the file and where its decoded samples go. It lives on the heap, so the
// callbacks' pointer stays valid while the source that owns it moves.
struct Stream {
    ReadOnlyFile file;
    std::uint64_t offset = 0;
    bool haveInfo = false;
    FLAC__StreamMetadata_StreamInfo info{};
    // The samples of the frame decoded last, interleaved and internal.
    std::vector<InternalSample> pending;
    int pendingFrames = 0;
    int pendingUsed = 0;
    // Only count frames, for a file whose STREAMINFO has no sample count.
    bool counting = false;
    std::int64_t counted = 0;
};

FLAC__StreamDecoderReadStatus readBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                        size_t* bytes, void* data) {
    auto* stream = static_cast<Stream*>(data);
    const std::size_t got = stream->file.ReadAt(stream->offset, buffer, *bytes);
    stream->offset += got;
    *bytes = got;
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                    : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus seekBytes(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                        void* data) {
    static_cast<Stream*>(data)->offset = offset;
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus tellBytes(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                        void* data) {
    *offset = static_cast<Stream*>(data)->offset;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus fileLength(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                           void* data) {
    *length = static_cast<Stream*>(data)->file.currentSize();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool atEnd(const FLAC__StreamDecoder*, void* data) {
    const auto* stream = static_cast<Stream*>(data);
    return stream->offset >= stream->file.currentSize();
}

FLAC__StreamDecoderWriteStatus writeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const buffer[], void* data) {
    auto* stream = static_cast<Stream*>(data);
    const auto channels = static_cast<std::size_t>(stream->info.channels);
    const std::uint32_t frames = frame->header.blocksize;
    // A frame that does not match STREAMINFO's shape is damage, not audio.
    if (frame->header.channels != channels ||
        frame->header.bits_per_sample != stream->info.bits_per_sample ||
        frames * channels > stream->pending.size()) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (stream->counting) {
        stream->counted += frames;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    const int bits = static_cast<int>(stream->info.bits_per_sample);
    const int up = std::max(20 - bits, 0);
    const int down = std::max(bits - 20, 0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            stream->pending[i * channels + c] = (buffer[c][i] * (1 << up)) >> down;
        }
    }
    // After a seek the decoder hands over the target frame's samples from the target on.
    stream->pendingFrames = static_cast<int>(frames);
    stream->pendingUsed = 0;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
    auto* stream = static_cast<Stream*>(data);
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
        stream->info = block->data.stream_info;
        stream->haveInfo = true;
    }
}

// Damage is handled where it shows: the decoder skips to the next frame whose checksums hold.
void decodeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

bool ended(const FLAC__StreamDecoder* decoder) {
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
    return state == FLAC__STREAM_DECODER_END_OF_STREAM || state >= FLAC__STREAM_DECODER_OGG_ERROR;
}

class FlacSource final : public FileSource {
  public:
    // The decoder reads through the stream's own file.
    FlacSource(std::unique_ptr<Stream> stream, Decoder decoder, std::int64_t length)
        : FileSource(ReadOnlyFile(), static_cast<int>(stream->info.sample_rate), kFullScalePeak,
                     static_cast<int>(stream->info.channels), length),
          m_stream(std::move(stream)),
          m_decoder(std::move(decoder)) {}

  private:
    int readFrames(std::int64_t first, InternalSample* dest, int frames) override {
        Stream& stream = *m_stream;
        const auto channelCount = static_cast<std::size_t>(channels());
        if (first != m_next && !seek(first)) {
            m_next = -1;
            return 0;
        }
        int done = 0;
        while (done < frames && (stream.pendingUsed < stream.pendingFrames || decodeFrame())) {
            const int take = std::min(frames - done, stream.pendingFrames - stream.pendingUsed);
            std::copy_n(stream.pending.begin() +
                            static_cast<std::ptrdiff_t>(stream.pendingUsed * channelCount),
                        static_cast<std::size_t>(take) * channelCount,
                        dest + static_cast<std::size_t>(done) * channelCount);
            stream.pendingUsed += take;
            done += take;
        }
        m_next = done == frames ? first + done : -1;
        return done;
    }

    // Decodes the next frame into the pending samples; false at the end of the stream or when
    // decoding stopped. A frame whose checksum fails is skipped.
    bool decodeFrame() {
        Stream& stream = *m_stream;
        stream.pendingFrames = 0;
        stream.pendingUsed = 0;
        while (stream.pendingFrames == 0) {
            if (ended(m_decoder.get()) || !FLAC__stream_decoder_process_single(m_decoder.get())) {
                return false;
            }
        }
        return true;
    }

    // Leaves the decoder's next samples at `frame`.
    bool seek(std::int64_t frame) {
        Stream& stream = *m_stream;
        stream.pendingFrames = 0;
        stream.pendingUsed = 0;
        // A failed seek or an aborted frame leaves the decoder needing a flush.
        if (FLAC__stream_decoder_get_state(m_decoder.get()) >= FLAC__STREAM_DECODER_OGG_ERROR) {
            FLAC__stream_decoder_flush(m_decoder.get());
        }
        return FLAC__stream_decoder_seek_absolute(m_decoder.get(),
                                                  static_cast<FLAC__uint64>(frame));
    }

    std::unique_ptr<Stream> m_stream;
    Decoder m_decoder;
    std::int64_t m_next = 0;  // the frame the decoder delivers next; -1 unknown
};

}  // namespace

SourceRef OpenFlacFile(const std::string& path) {
    auto stream = std::make_unique<Stream>();
    if (!stream->file.Open(path)) {
        return failed(SourceStatus::CannotOpen);
    }
    char mark[4];
    if (!stream->file.ReadExactly(0, mark, sizeof mark) || std::memcmp(mark, "fLaC", 4) != 0) {
        return failed(SourceStatus::Corrupt);
    }
    Decoder decoder(FLAC__stream_decoder_new());
    if (decoder == nullptr) {
        return failed(SourceStatus::CodecMissing);
    }
    if (FLAC__stream_decoder_init_stream(decoder.get(), readBytes, seekBytes, tellBytes, fileLength,
                                         atEnd, writeFrame, metadata, decodeError,
                                         stream.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return failed(SourceStatus::CodecMissing);
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder.get()) || !stream->haveInfo ||
        stream->info.sample_rate == 0) {
        return failed(SourceStatus::Corrupt);
    }
    if (stream->info.channels > 2 || stream->info.bits_per_sample > 24) {
        return failed(SourceStatus::NotSupported);
    }
    const std::uint32_t maxBlock = std::clamp<std::uint32_t>(stream->info.max_blocksize, 16, 65535);
    stream->pending.resize(static_cast<std::size_t>(maxBlock) * stream->info.channels);
    auto length = static_cast<std::int64_t>(stream->info.total_samples);
    if (length == 0 || stream->info.total_samples / kMaxFramesPerByte > stream->file.size()) {
        // Counting decodes, so only frames whose checksums hold are counted.
        stream->counting = true;
        while (!ended(decoder.get()) && FLAC__stream_decoder_process_single(decoder.get())) {
        }
        stream->counting = false;
        length = stream->counted;
        if (!FLAC__stream_decoder_reset(decoder.get()) ||
            !FLAC__stream_decoder_process_until_end_of_metadata(decoder.get())) {
            return failed(SourceStatus::Corrupt);
        }
    }
    return MakeSource<FlacSource>(std::move(stream), std::move(decoder), length);
}

}  // namespace sonaro
