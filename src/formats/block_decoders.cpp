#include "formats/block_decoders.h"

#include <gsm.h>

#include <algorithm>
#include <array>

#include "formats/byte_order.h"
#include "formats/gsm_codec.h"

namespace sonaro {
namespace {

class CodecStreamDecoder final : public BlockDecoder {
  public:
    CodecStreamDecoder(std::unique_ptr<CodecStream> stream, int blockAlign, int framesPerBlock,
                       int channels)
        : BlockDecoder(blockAlign, framesPerBlock, channels), m_stream(std::move(stream)) {}

    void Decode(const std::uint8_t* in, int blocks, std::int16_t* out) override {
        const std::size_t samples =
            static_cast<std::size_t>(blocks) * framesPerBlock() * channels();
        // The stream writes little-endian bytes; they are put in the host's order in place.
        auto* bytes = reinterpret_cast<std::uint8_t*>(out);
        StreamHeader header;
        header.source = in;
        header.sourceLength = static_cast<std::size_t>(blocks) * blockBytes();
        header.destination = bytes;
        header.destinationLength = samples * 2;
        m_stream->Convert(header, ConvertMode::BlockAlign);
        const std::size_t decoded = std::min(header.destinationUsed / 2, samples);
        for (std::size_t i = 0; i < decoded; ++i) {
            out[i] = static_cast<std::int16_t>(GetLe16(bytes + 2 * i));
        }
        std::fill(out + decoded, out + samples, std::int16_t{0});
    }

  private:
    std::unique_ptr<CodecStream> m_stream;
};

class GsmWavDecoder final : public BlockDecoder {
  public:
    GsmWavDecoder()
        : BlockDecoder(GsmCodec::kBytesPerBlock, GsmCodec::kSamplesPerBlock, 1),
          m_codec(std::make_unique<GsmCodec>()) {}

    bool valid() const { return m_codec->valid(); }

    void Decode(const std::uint8_t* in, int blocks, std::int16_t* out) override {
        for (int b = 0; b < blocks; ++b) {
            m_codec->DecodeBlock(in + b * GsmCodec::kBytesPerBlock,
                                 out + b * GsmCodec::kSamplesPerBlock);
        }
    }

    // The predictor state belongs to the blocks before; a fresh decoder starts clean.
    void Restart() override { m_codec = std::make_unique<GsmCodec>(); }

  private:
    std::unique_ptr<GsmCodec> m_codec;
};

class GsmFrameDecoder final : public BlockDecoder {
  public:
    static constexpr int kFrameBytes = 33;
    static constexpr int kFrameSamples = 160;

    GsmFrameDecoder() : BlockDecoder(kFrameBytes, kFrameSamples, 1), m_state(gsm_create()) {}
    ~GsmFrameDecoder() override { destroy(); }
    GsmFrameDecoder(const GsmFrameDecoder&) = delete;
    GsmFrameDecoder& operator=(const GsmFrameDecoder&) = delete;

    bool valid() const { return m_state != nullptr; }

    void Decode(const std::uint8_t* in, int blocks, std::int16_t* out) override {
        for (int b = 0; b < blocks; ++b) {
            std::int16_t* pcm = out + b * kFrameSamples;
            gsm_byte frame[kFrameBytes];
            std::copy_n(in + b * kFrameBytes, kFrameBytes, frame);
            if (m_state == nullptr || gsm_decode(m_state, frame, pcm) != 0) {
                std::fill_n(pcm, kFrameSamples, std::int16_t{0});
            }
        }
    }

    void Restart() override {
        destroy();
        m_state = gsm_create();
    }

  private:
    void destroy() {
        if (m_state != nullptr) {
            gsm_destroy(m_state);
            m_state = nullptr;
        }
    }

    gsm_state* m_state;
};

constexpr std::array<std::int16_t, 49> kDialogicSteps = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,   55,   60,  66,  73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209,  230,  253,  279,  307, 337, 371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
constexpr std::array<int, 8> kDialogicIndexShift = {-1, -1, -1, -1, 2, 4, 6, 8};

class DialogicAdpcmDecoder final : public BlockDecoder {
  public:
    // One byte per channel: two frames.
    explicit DialogicAdpcmDecoder(int channels) : BlockDecoder(channels, 2, channels) {}

    void Decode(const std::uint8_t* in, int blocks, std::int16_t* out) override {
        const int nibbles = blocks * blockBytes() * 2;
        for (int i = 0; i < nibbles; ++i) {
            const std::uint8_t byte = in[i / 2];
            const int code = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
            out[i] = decodeNibble(m_state[static_cast<std::size_t>(i % channels())], code);
        }
    }

    void Restart() override { m_state = {}; }

  private:
    struct State {
        int signal = 0;
        int index = 0;
    };

    static std::int16_t decodeNibble(State& state, int code) {
        const int step = kDialogicSteps[static_cast<std::size_t>(state.index)];
        // (2·magnitude + 1)·step / 8 in one product, as sox and ffmpeg compute it; adding the
        // step's shifted parts one by one rounds each part down and drifts from their output.
        const int diff = ((2 * (code & 7) + 1) * step) >> 3;
        state.signal =
            std::clamp((code & 8) != 0 ? state.signal - diff : state.signal + diff, -2048, 2047);
        state.index = std::clamp(state.index + kDialogicIndexShift[code & 7], 0,
                                 static_cast<int>(kDialogicSteps.size()) - 1);
        return static_cast<std::int16_t>(state.signal * 16);
    }

    std::array<State, 255> m_state{};
};

}  // namespace

std::unique_ptr<BlockDecoder> MakeCodecStreamDecoder(std::unique_ptr<CodecStream> stream,
                                                     int blockAlign, int channels) {
    if (stream == nullptr || blockAlign <= 0 || channels <= 0) {
        return nullptr;
    }
    const std::size_t frameBytes = 2u * static_cast<std::size_t>(channels);
    const std::size_t blockOutput = stream->DestinationSize(static_cast<std::size_t>(blockAlign));
    if (blockOutput == 0 || blockOutput % frameBytes != 0 ||
        blockOutput / frameBytes > static_cast<std::size_t>(kMaxCodecBlockFrames)) {
        return nullptr;
    }
    return std::make_unique<CodecStreamDecoder>(
        std::move(stream), blockAlign, static_cast<int>(blockOutput / frameBytes), channels);
}

std::unique_ptr<BlockDecoder> MakeGsmWavDecoder() {
    auto decoder = std::make_unique<GsmWavDecoder>();
    return decoder->valid() ? std::move(decoder) : nullptr;
}

std::unique_ptr<BlockDecoder> MakeGsmFrameDecoder() {
    auto decoder = std::make_unique<GsmFrameDecoder>();
    return decoder->valid() ? std::move(decoder) : nullptr;
}

std::unique_ptr<BlockDecoder> MakeDialogicAdpcmDecoder(int channels) {
    if (channels < 1 || channels > 255) {
        return nullptr;
    }
    return std::make_unique<DialogicAdpcmDecoder>(channels);
}

}  // namespace sonaro
