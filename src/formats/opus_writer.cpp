#include "formats/opus_writer.h"

#include <opus/opusenc.h>
#include <unistd.h>

#include <algorithm>

namespace sonaro {
namespace {

// Pages go out at least this often (in 48 kHz samples): what a crash may cost besides the sync
// interval. The encoder holds no input back for its decisions (by default two seconds).
constexpr int kPageDelaySamples = OpusWriter::kSampleRate / 2;

}  // namespace

OpusWriter::OpusWriter(const std::string& path, int channels, int bitRate, bool voice,
                       int complexity)
    : FileWriter(kSampleRate, channels),
      m_buffer(static_cast<std::size_t>(kMaxBlockFrames) * std::max(channels, 1)) {
    if (channels < 1 || channels > 2) {
        refuseFormat("Opus records mono or stereo only.");
        return;
    }
    static constexpr std::uint8_t kNothing[1] = {};
    if (!openFile(path, kNothing, 0)) {
        return;
    }
    OggOpusComments* comments = ope_comments_create();
    const OpusEncCallbacks callbacks{writeBytes, closeStream};
    int error = OPE_OK;
    if (comments != nullptr) {
        ope_comments_add(comments, "ENCODER", "Sonaro");
        m_encoder = ope_encoder_create_callbacks(&callbacks, this, comments, kSampleRate, channels,
                                                 0, &error);
        ope_comments_destroy(comments);
    }
    const int application = voice ? OPUS_APPLICATION_VOIP : OPUS_APPLICATION_AUDIO;
    if (m_encoder == nullptr ||
        ope_encoder_ctl(m_encoder, OPUS_SET_BITRATE(std::clamp(bitRate, 6, 510) * 1000)) !=
            OPE_OK ||
        ope_encoder_ctl(m_encoder, OPUS_SET_APPLICATION(application)) != OPE_OK ||
        ope_encoder_ctl(m_encoder, OPUS_SET_COMPLEXITY(std::clamp(complexity, 0, 10))) != OPE_OK ||
        ope_encoder_ctl(m_encoder, OPE_SET_DECISION_DELAY(0)) != OPE_OK ||
        ope_encoder_ctl(m_encoder, OPE_SET_MUXING_DELAY(kPageDelaySamples)) != OPE_OK ||
        ope_encoder_flush_header(m_encoder) != OPE_OK) {
        refuseFormat(std::string("The Opus encoder cannot start: ") +
                     ope_strerror(m_encoder == nullptr ? error : OPE_BAD_ARG));
        if (m_encoder != nullptr) {
            ope_encoder_destroy(m_encoder);
            m_encoder = nullptr;
        }
        closeFile();
        ::unlink(path.c_str());
    }
}

OpusWriter::~OpusWriter() {
    if (m_encoder != nullptr) {
        ope_encoder_drain(m_encoder);
        ope_encoder_destroy(m_encoder);
    }
    closeFile();
}

int OpusWriter::writeBytes(void* writer, const unsigned char* bytes, int length) {
    return static_cast<OpusWriter*>(writer)->appendData(bytes, static_cast<std::size_t>(length))
               ? 0
               : 1;
}

int OpusWriter::closeStream(void*) {
    return 0;
}

void OpusWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    while (frames > 0 && m_encoder != nullptr && !hasFailed()) {
        const int chunk = std::min(frames, kMaxBlockFrames);
        const int count = chunk * channels();
        for (int i = 0; i < count; ++i) {
            m_buffer[i] = ToPcm16(samples[i]);
        }
        if (ope_encoder_write(m_encoder, m_buffer.data(), chunk) != OPE_OK) {
            return;
        }
        samples += count;
        frames -= chunk;
        m_sinceSync += chunk;
        if (m_sinceSync >= std::int64_t{kCheckpointSeconds} * kSampleRate) {
            m_sinceSync = 0;
            syncData();
        }
    }
}

}  // namespace sonaro
