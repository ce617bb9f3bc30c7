#include "formats/ms_adpcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "formats/byte_order.h"

namespace sonaro {
namespace {

// The encoder as it was before the trials ran side by side: seven full trial encodes, then an
// eighth with the chosen predictor. Its output is the reference, byte for byte.
namespace reference {

constexpr int kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                     {240, 0}, {460, -208}, {392, -232}};
constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

struct Channel {
    int coef1 = 256;
    int coef2 = 0;
    int delta = 16;
    int sample1 = 0;
    int sample2 = 0;

    int encode(int sample) {
        const int predicted = (sample1 * coef1 + sample2 * coef2) >> 8;
        const int error = sample - predicted;
        const int rounded =
            error >= 0 ? (error + delta / 2) / delta : -((-error + delta / 2) / delta);
        const int code = std::clamp(rounded, -8, 7) & 0x0F;
        const int signedCode = code >= 8 ? code - 16 : code;
        sample2 = sample1;
        sample1 = std::clamp(predicted + signedCode * delta, -32768, 32767);
        delta = std::clamp((kAdaptation[code] * delta) >> 8, 16, 0x7FFFFFFF / 768);
        return code;
    }
};

Channel start(const std::int16_t* pcm, int channels, int c, int predictor) {
    Channel channel;
    channel.coef1 = kCoefficients[predictor][0];
    channel.coef2 = kCoefficients[predictor][1];
    channel.sample2 = pcm[c];
    channel.sample1 = pcm[channels + c];
    channel.delta = std::max(16, std::abs(pcm[2 * channels + c] - pcm[channels + c]) / 2);
    return channel;
}

void encodeBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out) {
    const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        int best = 0;
        std::int64_t bestError = INT64_MAX;
        for (int predictor = 0; predictor < 7; ++predictor) {
            Channel trial = start(pcm, channels, c, predictor);
            std::int64_t error = 0;
            for (int i = 2; i < frames; ++i) {
                const int wanted = pcm[i * channels + c];
                trial.encode(wanted);
                error +=
                    static_cast<std::int64_t>(wanted - trial.sample1) * (wanted - trial.sample1);
            }
            if (error < bestError) {
                best = predictor;
                bestError = error;
            }
        }
        coders[c] = start(pcm, channels, c, best);
        out[c] = static_cast<std::uint8_t>(best);
        PutLe16(out + channels + 2 * c, static_cast<std::uint16_t>(coders[c].delta));
        PutLe16(out + 3 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample1));
        PutLe16(out + 5 * channels + 2 * c, static_cast<std::uint16_t>(coders[c].sample2));
    }
    std::uint8_t* data = out + 7 * channels;
    const std::int16_t* source = pcm + 2 * channels;
    for (int i = 0; i < (frames - 2) * channels; i += 2) {
        const int high = coders[i % channels].encode(source[i]);
        const int low = coders[(i + 1) % channels].encode(source[i + 1]);
        *data++ = static_cast<std::uint8_t>((high << 4) | low);
    }
}

}  // namespace reference

// Signals that favour different predictors, and ones that drive the delta to its limits: quiet
// and loud noise, tones low and high, full-scale squares that clip, silence, and steps.
std::vector<std::int16_t> signal(int kind, std::size_t count, std::mt19937& random) {
    std::vector<std::int16_t> pcm(count);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::uniform_int_distribution<int> quiet(-40, 40);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i);
        double value = 0;
        switch (kind % 6) {
            case 0:
                value = full(random);
                break;
            case 1:
                value = quiet(random);
                break;
            case 2:
                value = 30000 * std::sin(t * 0.01) + quiet(random);
                break;
            case 3:
                value = 20000 * std::sin(t * 2.9) * std::sin(t * 0.001);
                break;
            case 4:
                value = (i / (7 + kind)) % 2 != 0 ? 32767 : -32768;
                break;
            default:
                value = (i / 500) % 3 == 0 ? 0 : full(random) / ((i / 500) % 3 * 100 + 1);
                break;
        }
        pcm[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return pcm;
}

TEST(MsAdpcm, EncoderOutputIsByteIdenticalToTheSerialTrials) {
    std::mt19937 random(2026);
    for (const int channels : {1, 2}) {
        for (const int blockAlign :
             {7 * channels + 1, 256, 512 * channels, 1024 * channels, 4096}) {
            const int frames = MsAdpcmSamplesPerBlock(blockAlign, channels);
            for (int kind = 0; kind < 12; ++kind) {
                const auto pcm = signal(kind, static_cast<std::size_t>(frames) * channels, random);
                std::vector<std::uint8_t> expected(static_cast<std::size_t>(blockAlign));
                std::vector<std::uint8_t> actual(static_cast<std::size_t>(blockAlign), 0xAA);
                reference::encodeBlock(pcm.data(), channels, blockAlign, expected.data());
                EncodeMsAdpcmBlock(pcm.data(), channels, blockAlign, actual.data());
                ASSERT_EQ(actual, expected)
                    << channels << " channels, block " << blockAlign << ", signal " << kind;
            }
        }
    }
}

}  // namespace
}  // namespace sonaro
