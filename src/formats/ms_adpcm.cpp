#include "formats/ms_adpcm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

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
};

// The seven trial encodes run side by side, one predictor per lane of a vector (lane 7 repeats
// predictor 0 and is never chosen), so each sample costs one pass instead of eight. Each lane
// takes the code nearest to the wanted sample (halves away from zero, clamped to -8..7) and
// applies it as Channel::apply does. The division is done in float: numerator and divisor stay
// below 2^24, where the truncated float quotient is the exact integer one.
using Lanes = std::int32_t __attribute__((vector_size(32)));
using FloatLanes = float __attribute__((vector_size(32)));
using UnsignedLanes = std::uint32_t __attribute__((vector_size(32)));
using WideLanes = std::uint64_t __attribute__((vector_size(64)));
constexpr int kLanes = 8;

constexpr Lanes kLaneCoef1 = {256, 512, 0, 192, 240, 460, 392, 256};
constexpr Lanes kLaneCoef2 = {0, -256, 0, 64, 0, -208, -232, 0};
// kAdaptation by the code's magnitude 0..7; magnitude 8 (code -8) adapts by 768.
constexpr Lanes kAdaptationByMagnitude = {230, 230, 230, 230, 307, 409, 512, 614};

// Taking vectors by reference keeps them out of any call's ABI.
[[gnu::always_inline]] inline void clampLanes(Lanes& value, int low, int high) {
    value = value < low ? Lanes{} + low : value;
    value = value > high ? Lanes{} + high : value;
}

struct Trials {
    Lanes delta;
    Lanes sample1;
    Lanes sample2;
    WideLanes error{};
};

// A block of two frames has no third sample to start the delta from, and no codes that use it.
[[gnu::always_inline]] inline Trials startTrials(const std::int16_t* pcm, int channels, int frames,
                                                 int c) {
    const int delta =
        frames < 3 ? 16 : std::max(16, std::abs(pcm[2 * channels + c] - pcm[channels + c]) / 2);
    return Trials{Lanes{} + delta, Lanes{} + pcm[channels + c], Lanes{} + pcm[c]};
}

// Encodes `wanted` in every lane; stores the signed codes, kLanes of them.
[[gnu::always_inline]] inline void encodeLanes(Trials& t, int wanted, std::int32_t* codes) {
    const Lanes target = Lanes{} + wanted;
    const Lanes predict = (t.sample1 * kLaneCoef1 + t.sample2 * kLaneCoef2) >> 8;
    const Lanes error = target - predict;
    const Lanes magnitude = error < 0 ? -error : error;
    const FloatLanes numerator = __builtin_convertvector(magnitude + (t.delta >> 1), FloatLanes);
    Lanes quotient =
        __builtin_convertvector(numerator / __builtin_convertvector(t.delta, FloatLanes), Lanes);
    quotient = quotient > 8 ? Lanes{} + 8 : quotient;
    const Lanes code = error < 0 ? -quotient : (quotient > 7 ? Lanes{} + 7 : quotient);
    Lanes sample = predict + code * t.delta;
    clampLanes(sample, -32768, 32767);
    t.sample2 = t.sample1;
    t.sample1 = sample;
    const Lanes codeMagnitude = code < 0 ? -code : code;
    const Lanes factor = codeMagnitude == 8
                             ? Lanes{} + 768
                             : __builtin_shuffle(kAdaptationByMagnitude, codeMagnitude);
    t.delta = (factor * t.delta) >> 8;
    clampLanes(t.delta, 16, kMaxDelta);
    // A miss is at most 65535 in size, so its square fits 32 unsigned bits.
    const UnsignedLanes miss = __builtin_convertvector(target - sample, UnsignedLanes);
    t.error += __builtin_convertvector(miss * miss, WideLanes);
    std::memcpy(codes, &code, sizeof code);
}

// The lane with the smallest error; the lowest predictor on a tie.
int bestLane(const Trials& t) {
    int best = 0;
    for (int lane = 1; lane < kMsAdpcmCoefficientCount; ++lane) {
        if (t.error[lane] < t.error[best]) {
            best = lane;
        }
    }
    return best;
}

// Runs the trials of every channel at once (independent chains the processor overlaps) and keeps
// each lane's codes, so the chosen lane needs no second pass. The states are local copies, so
// that they stay in registers.
__attribute__((target_clones("avx2", "default"))) void runTrials(const std::int16_t* pcm,
                                                                 int channels, int frames,
                                                                 Trials* trials,
                                                                 std::int32_t* codes) {
    Trials first = trials[0];
    if (channels == 1) {
        for (int i = 2; i < frames; ++i) {
            encodeLanes(first, pcm[i], codes + i * kLanes);
        }
        trials[0] = first;
        return;
    }
    Trials second = trials[1];
    for (int i = 2; i < frames; ++i) {
        encodeLanes(first, pcm[2 * i], codes + i * kLanes);
        encodeLanes(second, pcm[2 * i + 1], codes + (frames + i) * kLanes);
    }
    trials[0] = first;
    trials[1] = second;
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
    // Kept per thread, so that a writer allocates only for its first block.
    thread_local std::vector<std::int32_t> codes;
    const auto stride = static_cast<std::size_t>(frames) * kLanes;
    if (codes.size() < stride * static_cast<std::size_t>(channels)) {
        codes.resize(stride * static_cast<std::size_t>(channels));
    }
    Trials trials[2];
    int chosen[2] = {};
    for (int c = 0; c < channels; ++c) {
        trials[c] = startTrials(pcm, channels, frames, c);
        PutLe16(out + channels + 2 * c, static_cast<std::uint16_t>(trials[c].delta[0]));
        PutLe16(out + 3 * channels + 2 * c, static_cast<std::uint16_t>(trials[c].sample1[0]));
        PutLe16(out + 5 * channels + 2 * c, static_cast<std::uint16_t>(trials[c].sample2[0]));
    }
    runTrials(pcm, channels, frames, trials, codes.data());
    for (int c = 0; c < channels; ++c) {
        chosen[c] = bestLane(trials[c]);
        out[c] = static_cast<std::uint8_t>(chosen[c]);
    }
    // Code k of the block (channels interleaved) is frame 2 + k / channels of channel k % channels.
    auto codeAt = [&](int k) {
        const int c = k % channels;
        const std::size_t frame = static_cast<std::size_t>(2 + k / channels);
        return codes[stride * static_cast<std::size_t>(c) + frame * kLanes +
                     static_cast<std::size_t>(chosen[c])] &
               0x0F;
    };
    std::uint8_t* data = out + 7 * channels;
    const int count = (frames - 2) * channels;
    for (int k = 0; k < count; k += 2) {
        *data++ = static_cast<std::uint8_t>((codeAt(k) << 4) | codeAt(k + 1));
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
