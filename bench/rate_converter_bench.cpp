// The rate converter from 44100 to 48000 Hz stereo in seconds of audio per second, with the heap
// allocations it makes per block; and beside `sox rate -q` on the same ten minutes of audio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "audio/placeholder_sinks.h"
#include "audio/rate_converter.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBlockFrames = kRate / 10;

// Interleaved 16-bit stereo: three tones and a little noise, left and right differing.
std::vector<std::int16_t> makeAudio(std::int64_t frames) {
    std::vector<std::int16_t> audio(static_cast<std::size_t>(frames) * kChannels);
    std::uint32_t noise = 12345;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        noise = noise * 1664525u + 1013904223u;
        const double common = 0.3 * std::sin(2 * std::numbers::pi * 440 * t) +
                              0.1 * std::sin(2 * std::numbers::pi * 5000 * t) +
                              0.02 * (static_cast<double>(noise >> 16) / 32768.0 - 1.0);
        audio[static_cast<std::size_t>(2 * i)] = static_cast<std::int16_t>(
            32767 * (common + 0.2 * std::sin(2 * std::numbers::pi * 1000 * t)));
        audio[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::int16_t>(32767 * common);
    }
    return audio;
}

// Converts `audio` (44100 Hz stereo) to 48000 Hz in capture-sized blocks, as the capture engine
// feeds a converter. Gives the allocations made after the first block.
long convertToDiscard(const std::vector<std::int16_t>& audio) {
    SinkRef converter = MakeSink<RateConverter>(kRate, MakeSink<DiscardSink>(48000, kChannels));
    std::vector<InternalSample> block(static_cast<std::size_t>(kBlockFrames) * kChannels);
    const auto frames = static_cast<std::int64_t>(audio.size() / kChannels);
    long allocationsAtStart = 0;
    for (std::int64_t done = 0; done < frames; done += kBlockFrames) {
        const int run = static_cast<int>(std::min<std::int64_t>(kBlockFrames, frames - done));
        ConvertPcm16ToInternal(audio.data() + done * kChannels, block.data(),
                               static_cast<std::int64_t>(run) * kChannels);
        converter->Write(block.data(), run);
        if (done == 0) {
            allocationsAtStart = g_allocations.load();
        }
    }
    return g_allocations.load() - allocationsAtStart;
}

void BM_RateConverter44100To48000Stereo(benchmark::State& state) {
    const std::vector<std::int16_t> audio = makeAudio(10LL * kRate);
    long allocations = 0;
    for (auto _ : state) {
        allocations += convertToDiscard(audio);
    }
    const double seconds = 10.0 * static_cast<double>(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["allocs_per_block"] = static_cast<double>(allocations) / (seconds * 10.0);
}
BENCHMARK(BM_RateConverter44100To48000Stereo)->Unit(benchmark::kMillisecond);

bool writeWav(const std::string& path, const std::vector<std::int16_t>& audio) {
    std::ofstream out(path, std::ios::binary);
    auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    const auto dataBytes = static_cast<std::uint32_t>(audio.size() * 2);
    out.write("RIFF", 4);
    put(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(kChannels, 2);
    put(kRate, 4);
    put(kRate * kChannels * 2, 4);
    put(kChannels * 2, 2);
    put(16, 2);
    out.write("data", 4);
    put(dataBytes, 4);
    out.write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(dataBytes));
    return static_cast<bool>(out);
}

// Both converters get the same ten minutes: ours from memory in capture blocks, sox from the WAV
// file (read from the page cache) with its output discarded.
void BM_TenMinutesBesideSoxQuick(benchmark::State& state) {
    const std::vector<std::int16_t> audio = makeAudio(600LL * kRate);
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/sonaro-bench-10min.wav";
    if (!writeWav(path, audio)) {
        state.SkipWithError("cannot write the WAV file for sox");
        return;
    }
    double ours = 0;
    double sox = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        convertToDiscard(audio);
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        ChildProcess process;
        start = std::chrono::steady_clock::now();
        if (!process.start({{"sox", "-q", path, "-t", "null", "/dev/null", "rate", "-q", "48000"},
                            {},
                            false,
                            false,
                            {}}) ||
            process.wait(-1).value_or(-1) != 0) {
            state.SkipWithError("sox failed");
            break;
        }
        sox += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::remove(path.c_str());
    const double audioSeconds = 600.0 * static_cast<double>(state.iterations());
    state.counters["ours_audio_s_per_s"] = audioSeconds / ours;
    state.counters["sox_q_audio_s_per_s"] = audioSeconds / sox;
    state.counters["speed_ratio_ours_to_sox"] = sox / ours;
}
BENCHMARK(BM_TenMinutesBesideSoxQuick)->Iterations(2)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace sonaro

BENCHMARK_MAIN();
