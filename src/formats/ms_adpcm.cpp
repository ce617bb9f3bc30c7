#include "formats/ms_adpcm.h"

#include <algorithm>
#include <cstdlib>

#include "formats/byte_order.h"

namespace sonaro {
namespace {

constexpr int kCoefficients[kMsAdpcmCoefficientCount][2] = {
    {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

constexpr int kMaxDelta = 0x7FFFFFFF / 768;

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

struct Channel {
    int coef1 = 256;
    int coef2 = 0;
    int delta = 16;
    int sample1 = 0;  // newest
    int sample2 = 0;

    int predict() const { return (sample1 * coef1 + sample2 * coef2) >> 8; }

    // Applies a four-bit code exactly as a decoder does; gives the new sample.
    int apply(int code) {
        const int signedCode = code >= 8 ? code - 16 : code;
        const int sample = std::clamp(predict() + signedCode * delta, -32768, 32767);
        sample2 = sample1;
        sample1 = sample;
        // A corrupt block could grow the delta without bound; decoders cap it the same way.
        delta = std::clamp((kAdaptation[code] * delta) >> 8, 16, kMaxDelta);
        return sample;
    }

    int encode(int sample) {
        const int error = sample - predict();
        const int rounded =
            error >= 0 ? (error + delta / 2) / delta : -((-error + delta / 2) / delta);
        const int code = std::clamp(rounded, -8, 7) & 0x0F;
        apply(code);
        return code;
    }
};

Channel startChannel(const std::int16_t* pcm, int channels, int c, int predictor) {
    Channel channel;
    channel.coef1 = kCoefficients[predictor][0];
    channel.coef2 = kCoefficients[predictor][1];
    channel.sample2 = pcm[c];
    channel.sample1 = pcm[channels + c];
    channel.delta = std::max(16, std::abs(pcm[2 * channels + c] - pcm[channels + c]) / 2);
    return channel;
}

std::int64_t trialError(const std::int16_t* pcm, int channels, int c, int frames, int predictor) {
    Channel channel = startChannel(pcm, channels, c, predictor);
    std::int64_t error = 0;
    for (int i = 2; i < frames; ++i) {
        const int wanted = pcm[i * channels + c];
        channel.encode(wanted);
        error += static_cast<std::int64_t>(wanted - channel.sample1) * (wanted - channel.sample1);
    }
    return error;
}

int bestPredictor(const std::int16_t* pcm, int channels, int c, int frames) {
    int best = 0;
    std::int64_t bestError = trialError(pcm, channels, c, frames, 0);
    for (int predictor = 1; predictor < kMsAdpcmCoefficientCount; ++predictor) {
        const std::int64_t error = trialError(pcm, channels, c, frames, predictor);
        if (error < bestError) {
            best = predictor;
            bestError = error;
        }
    }
    return best;
}

}  // namespace

int MsAdpcmSamplesPerBlock(int blockAlign, int channels) {
    if (channels < 1 || blockAlign < 7 * channels) {
        return 0;
    }
    return (blockAlign - 7 * channels) * 2 / channels + 2;
}

void MsAdpcmExtraBytes(int samplesPerBlock, std::uint8_t* out) {
    PutLe16(out, static_cast<std::uint32_t>(samplesPerBlock));
    PutLe16(out + 2, kMsAdpcmCoefficientCount);
    for (int i = 0; i < kMsAdpcmCoefficientCount; ++i) {
        PutLe16(out + 4 + 4 * i, static_cast<std::uint16_t>(kCoefficients[i][0]));
        PutLe16(out + 6 + 4 * i, static_cast<std::uint16_t>(kCoefficients[i][1]));
    }
}

void EncodeMsAdpcmBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out) {
    const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        const int predictor = bestPredictor(pcm, channels, c, frames);
        coders[c] = startChannel(pcm, channels, c, predictor);
        out[c] = static_cast<std::uint8_t>(predictor);
        PutLe16(out + channels + 2 * c, static_cast<std::uint16_t>(coders[c].delta));
        PutLe16(out + 3 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample1));
        PutLe16(out + 5 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample2));
    }
    std::uint8_t* data = out + 7 * channels;
    const int codes = (frames - 2) * channels;
    const std::int16_t* source = pcm + 2 * channels;
    for (int i = 0; i < codes; i += 2) {
        const int high = coders[i % channels].encode(source[i]);
        const int low = coders[(i + 1) % channels].encode(source[i + 1]);
        *data++ = static_cast<std::uint8_t>((high << 4) | low);
    }
}

void DecodeMsAdpcmBlock(const std::uint8_t* block, int channels, int blockAlign,
                        std::int16_t* pcm) {
    const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        const int predictor = block[c] < kMsAdpcmCoefficientCount ? block[c] : 0;
        coders[c].coef1 = kCoefficients[predictor][0];
        coders[c].coef2 = kCoefficients[predictor][1];
        coders[c].delta = static_cast<std::int16_t>(GetLe16(block + channels + 2 * c));
        coders[c].sample1 = static_cast<std::int16_t>(GetLe16(block + 3 * channels + 2 * c));
        coders[c].sample2 = static_cast<std::int16_t>(GetLe16(block + 5 * channels + 2 * c));
        pcm[c] = static_cast<std::int16_t>(coders[c].sample2);
        pcm[channels + c] = static_cast<std::int16_t>(coders[c].sample1);
    }
    const std::uint8_t* data = block + 7 * channels;
    const int codes = (frames - 2) * channels;
    std::int16_t* target = pcm + 2 * channels;
    for (int i = 0; i < codes; i += 2) {
        const std::uint8_t byte = *data++;
        target[i] = static_cast<std::int16_t>(coders[i % channels].apply(byte >> 4));
        target[i + 1] = static_cast<std::int16_t>(coders[(i + 1) % channels].apply(byte & 0x0F));
    }
}

}  // namespace sonaro
