// Throughput of the file writers in seconds of audio written per second of wall time, and heap
// allocations per written block (must be 0). Writes go to /dev/null, so the figures are the
// writers' own cost without the storage.
#include <benchmark/benchmark.h>

#include "allocation_counter.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/pcm_wav_writer.h"

namespace {

using sonaro::InternalSample;

constexpr int kRate = 44100;
constexpr int kBlockFrames = 4410;  // 100 ms, a typical capture block
constexpr const char* kSink = "/dev/null";

std::vector<InternalSample> toneBlock(int channels) {
    std::vector<InternalSample> block(static_cast<std::size_t>(kBlockFrames) * channels);
    for (int i = 0; i < kBlockFrames; ++i) {
        const double value = 16000.0 * std::sin(2 * std::numbers::pi * 440 * i / kRate);
        for (int c = 0; c < channels; ++c) {
            block[static_cast<std::size_t>(i) * channels + c] =
                static_cast<InternalSample>(std::lround(value)) * 16 + c;
        }
    }
    return block;
}

void run(benchmark::State& state, sonaro::AudioSink& writer) {
    const auto block = toneBlock(writer.channels());
    writer.Write(block.data(), kBlockFrames);  // first block outside the count
    const long before = g_allocations.load();
    for (auto _ : state) {
        writer.Write(block.data(), kBlockFrames);
    }
    const long allocations = g_allocations.load() - before;
    const auto blocks = static_cast<double>(state.iterations());
    state.counters["audio_s_per_s"] =
        benchmark::Counter(blocks * kBlockFrames / kRate, benchmark::Counter::kIsRate);
    state.counters["allocs_per_block"] = static_cast<double>(allocations) / blocks;
}

void BM_Pcm16Stereo(benchmark::State& state) {
    sonaro::PcmWavWriter writer(kSink, kRate, 2, sonaro::PcmSampleType::Signed16);
    run(state, writer);
}

void BM_FloatStereo(benchmark::State& state) {
    sonaro::PcmWavWriter writer(kSink, kRate, 2, sonaro::PcmSampleType::Float32);
    run(state, writer);
}

// GSM is mono by nature: one channel at 44.1 kHz.
void BM_GsmMono(benchmark::State& state) {
    sonaro::GsmWavWriter writer(kSink, kRate);
    run(state, writer);
}

void runCodec(benchmark::State& state, int driverId, std::uint16_t tag) {
    const sonaro::CodecManager codecs;
    for (const auto& details : codecs.Formats(driverId, tag)) {
        if (details.format.samplesPerSec == kRate && details.format.channels == 2) {
            sonaro::CompressedWavWriter writer(kSink, details.format, codecs);
            run(state, writer);
            return;
        }
    }
    state.SkipWithError("no 44100 Hz stereo format");
}

void BM_ImaAdpcmStereo(benchmark::State& state) {
    runCodec(state, 2, 0x11);
}

void BM_MuLawStereo(benchmark::State& state) {
    runCodec(state, 1, 7);
}

void BM_MsAdpcmStereo(benchmark::State& state) {
    runCodec(state, 3, 2);
}

BENCHMARK(BM_Pcm16Stereo);
BENCHMARK(BM_FloatStereo);
BENCHMARK(BM_GsmMono);
BENCHMARK(BM_ImaAdpcmStereo);
BENCHMARK(BM_MuLawStereo);
BENCHMARK(BM_MsAdpcmStereo);

}  // namespace

BENCHMARK_MAIN();
