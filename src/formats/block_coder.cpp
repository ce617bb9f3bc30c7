#include "formats/block_coder.h"

#include <algorithm>
#include <vector>

#include "formats/byte_order.h"
#include "formats/g711.h"
#include "formats/ima_adpcm.h"
#include "formats/ms_adpcm.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kALawTag = 6;
constexpr std::uint16_t kMuLawTag = 7;
constexpr std::uint16_t kImaAdpcmTag = 0x11;
constexpr std::uint16_t kMsAdpcmTag = 2;

void readPcm(const std::uint8_t* in, std::int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::int16_t>(GetLe16(in + 2 * i));
    }
}

void writePcm(const std::int16_t* in, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        PutLe16(out + 2 * i, static_cast<std::uint16_t>(in[i]));
    }
}

// One frame per block: a sample is one code byte.
class G711Encoder final : public BlockCoder {
  public:
    G711Encoder(bool muLaw, int channels)
        : BlockCoder(2u * channels, static_cast<std::size_t>(channels)), m_muLaw(muLaw) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        const std::size_t samples = blocks * outputBytes();
        for (std::size_t i = 0; i < samples; ++i) {
            const auto sample = static_cast<std::int16_t>(GetLe16(in + 2 * i));
            out[i] = m_muLaw ? EncodeMuLaw(sample) : EncodeALaw(sample);
        }
    }

  private:
    bool m_muLaw;
};

class G711Decoder final : public BlockCoder {
  public:
    G711Decoder(bool muLaw, int channels)
        : BlockCoder(static_cast<std::size_t>(channels), 2u * channels), m_muLaw(muLaw) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        const std::size_t samples = blocks * inputBytes();
        for (std::size_t i = 0; i < samples; ++i) {
            const std::int16_t sample = m_muLaw ? DecodeMuLaw(in[i]) : DecodeALaw(in[i]);
            PutLe16(out + 2 * i, static_cast<std::uint16_t>(sample));
        }
    }

  private:
    bool m_muLaw;
};

// ADPCM blocks: `frames` frames of PCM against `blockAlign` bytes.
class AdpcmCoder : public BlockCoder {
  public:
    AdpcmCoder(bool encode, int channels, int frames, int blockAlign)
        : BlockCoder(encode ? 2u * channels * frames : static_cast<std::size_t>(blockAlign),
                     encode ? static_cast<std::size_t>(blockAlign) : 2u * channels * frames),
          m_channels(channels),
          m_blockAlign(blockAlign),
          m_samples(static_cast<std::size_t>(channels) * frames) {}

  protected:
    int m_channels;
    int m_blockAlign;
    std::vector<std::int16_t> m_samples;
};

class ImaAdpcmEncoder final : public AdpcmCoder {
  public:
    ImaAdpcmEncoder(int channels, int blockAlign)
        : AdpcmCoder(true, channels, ImaAdpcmSamplesPerBlock(blockAlign, channels), blockAlign) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        for (std::size_t b = 0; b < blocks; ++b) {
            readPcm(in + b * inputBytes(), m_samples.data(), m_samples.size());
            EncodeImaAdpcmBlock(m_samples.data(), m_channels, m_blockAlign, out + b * outputBytes(),
                                m_state);
        }
    }
    void Restart() override { m_state = {}; }

  private:
    ImaAdpcmEncoderState m_state;
};

class ImaAdpcmDecoder final : public AdpcmCoder {
  public:
    ImaAdpcmDecoder(int channels, int blockAlign)
        : AdpcmCoder(false, channels, ImaAdpcmSamplesPerBlock(blockAlign, channels), blockAlign) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        for (std::size_t b = 0; b < blocks; ++b) {
            DecodeImaAdpcmBlock(in + b * inputBytes(), m_channels, m_blockAlign, m_samples.data());
            writePcm(m_samples.data(), out + b * outputBytes(), m_samples.size());
        }
    }
};

class MsAdpcmEncoder final : public AdpcmCoder {
  public:
    MsAdpcmEncoder(int channels, int blockAlign)
        : AdpcmCoder(true, channels, MsAdpcmSamplesPerBlock(blockAlign, channels), blockAlign) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        for (std::size_t b = 0; b < blocks; ++b) {
            readPcm(in + b * inputBytes(), m_samples.data(), m_samples.size());
            EncodeMsAdpcmBlock(m_samples.data(), m_channels, m_blockAlign, out + b * outputBytes());
        }
    }
};

class MsAdpcmDecoder final : public AdpcmCoder {
  public:
    MsAdpcmDecoder(int channels, int blockAlign)
        : AdpcmCoder(false, channels, MsAdpcmSamplesPerBlock(blockAlign, channels), blockAlign) {}

    void CodeBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) override {
        for (std::size_t b = 0; b < blocks; ++b) {
            DecodeMsAdpcmBlock(in + b * inputBytes(), m_channels, m_blockAlign, m_samples.data());
            writePcm(m_samples.data(), out + b * outputBytes(), m_samples.size());
        }
    }
};

bool validStream(const WaveFormat& codec) {
    return (codec.channels == 1 || codec.channels == 2) && codec.samplesPerSec > 0;
}

bool validG711(const WaveFormat& codec) {
    return codec.bitsPerSample == 8 && codec.blockAlign == codec.channels;
}

// Block sizes whose data part holds whole groups of 8 samples per channel.
bool validIma(const WaveFormat& codec) {
    const int groupBytes = 4 * codec.channels;
    return codec.bitsPerSample == 4 && codec.blockAlign >= 2 * groupBytes &&
           codec.blockAlign % groupBytes == 0;
}

bool validMs(const WaveFormat& codec) {
    return codec.bitsPerSample == 4 && codec.blockAlign > 7 * codec.channels;
}

// A stored coefficient table other than the standard one cannot be decoded by our decoder.
bool standardMsCoefficients(const WaveFormat& codec) {
    if (codec.extra.size() < 4) {
        return true;
    }
    std::uint8_t standard[kMsAdpcmExtraByteCount];
    MsAdpcmExtraBytes(GetLe16(codec.extra.data()), standard);
    return codec.extra.size() >= kMsAdpcmExtraByteCount &&
           std::equal(standard + 2, standard + kMsAdpcmExtraByteCount, codec.extra.begin() + 2);
}

}  // namespace

std::unique_ptr<BlockCoder> MakeBlockEncoder(const WaveFormat& codec) {
    if (!validStream(codec)) {
        return nullptr;
    }
    const int channels = codec.channels;
    switch (codec.formatTag) {
        case kMuLawTag:
        case kALawTag:
            return validG711(codec)
                       ? std::make_unique<G711Encoder>(codec.formatTag == kMuLawTag, channels)
                       : nullptr;
        case kImaAdpcmTag:
            return validIma(codec) ? std::make_unique<ImaAdpcmEncoder>(channels, codec.blockAlign)
                                   : nullptr;
        case kMsAdpcmTag:
            return validMs(codec) ? std::make_unique<MsAdpcmEncoder>(channels, codec.blockAlign)
                                  : nullptr;
        default:
            return nullptr;
    }
}

std::unique_ptr<BlockCoder> MakeBlockDecoder(const WaveFormat& codec) {
    if (!validStream(codec)) {
        return nullptr;
    }
    const int channels = codec.channels;
    switch (codec.formatTag) {
        case kMuLawTag:
        case kALawTag:
            return validG711(codec)
                       ? std::make_unique<G711Decoder>(codec.formatTag == kMuLawTag, channels)
                       : nullptr;
        case kImaAdpcmTag:
            return validIma(codec) ? std::make_unique<ImaAdpcmDecoder>(channels, codec.blockAlign)
                                   : nullptr;
        case kMsAdpcmTag:
            return validMs(codec) && standardMsCoefficients(codec)
                       ? std::make_unique<MsAdpcmDecoder>(channels, codec.blockAlign)
                       : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace sonaro
