#include "formats/ima_adpcm.h"

#include <algorithm>

#include "formats/byte_order.h"

namespace sonaro {
namespace {

constexpr std::int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct Channel {
    int predictor = 0;
    int stepIndex = 0;

    // Applies a code exactly as a decoder does.
    void apply(int code) {
        const int step = kStepTable[stepIndex];
        int delta = step >> 3;
        if ((code & 4) != 0)
            delta += step;
        if ((code & 2) != 0)
            delta += step >> 1;
        if ((code & 1) != 0)
            delta += step >> 2;
        predictor += (code & 8) != 0 ? -delta : delta;
        predictor = std::clamp(predictor, -32768, 32767);
        stepIndex = std::clamp(stepIndex + kIndexAdjust[code & 7], 0, 88);
    }

    int encode(int sample) {
        int diff = sample - predictor;
        int code = 0;
        if (diff < 0) {
            code = 8;
            diff = -diff;
        }
        int step = kStepTable[stepIndex];
        for (int bit = 4; bit != 0; bit >>= 1) {
            if (diff >= step) {
                code |= bit;
                diff -= step;
            }
            step >>= 1;
        }
        apply(code);
        return code;
    }
};

}  // namespace

int ImaAdpcmSamplesPerBlock(int blockAlign, int channels) {
    if (channels < 1 || blockAlign < 8 * channels) {
        return 0;
    }
    return (blockAlign - 4 * channels) / (4 * channels) * 8 + 1;
}

void EncodeImaAdpcmBlock(const std::int16_t* pcm, int channels, int blockAlign, std::uint8_t* out,
                         ImaAdpcmEncoderState& state) {
    const int frames = ImaAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        coders[c].predictor = pcm[c];
        coders[c].stepIndex = state.stepIndex[c];
        PutLe16(out + 4 * c, static_cast<std::uint16_t>(pcm[c]));
        out[4 * c + 2] = state.stepIndex[c];
        out[4 * c + 3] = 0;
    }
    std::uint8_t* data = out + 4 * channels;
    for (int group = 1; group < frames; group += 8) {
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < 8; i += 2) {
                const int low = coders[c].encode(pcm[(group + i) * channels + c]);
                const int high = coders[c].encode(pcm[(group + i + 1) * channels + c]);
                *data++ = static_cast<std::uint8_t>(low | (high << 4));
            }
        }
    }
    for (int c = 0; c < channels; ++c) {
        state.stepIndex[c] = static_cast<std::uint8_t>(coders[c].stepIndex);
    }
}

void DecodeImaAdpcmBlock(const std::uint8_t* block, int channels, int blockAlign,
                         std::int16_t* pcm) {
    const int frames = ImaAdpcmSamplesPerBlock(blockAlign, channels);
    Channel coders[2];
    for (int c = 0; c < channels; ++c) {
        coders[c].predictor = static_cast<std::int16_t>(GetLe16(block + 4 * c));
        coders[c].stepIndex = std::min<int>(block[4 * c + 2], 88);
        pcm[c] = static_cast<std::int16_t>(coders[c].predictor);
    }
    const std::uint8_t* data = block + 4 * channels;
    for (int group = 1; group < frames; group += 8) {
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < 8; i += 2) {
                const std::uint8_t byte = *data++;
                coders[c].apply(byte & 0x0F);
                pcm[(group + i) * channels + c] = static_cast<std::int16_t>(coders[c].predictor);
                coders[c].apply(byte >> 4);
                pcm[(group + i + 1) * channels + c] =
                    static_cast<std::int16_t>(coders[c].predictor);
            }
        }
    }
}

}  // namespace sonaro
