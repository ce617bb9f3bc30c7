// The MS ADPCM file writer beside ffmpeg's adpcm_ms encoder on the same input: one minute of
// 44.1 kHz stereo 16-bit sound (tones with noise) read from a raw file and written as a WAV file.
// The time of each is CPU seconds (user and system) per file: ours is this process's, ffmpeg's is
// the child's. Wall time is given as a counter; on a busy machine it says more about the load.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"

extern char** environ;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kBlockFrames = 4410;

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/sonaro_ms_adpcm_bench_" +
           std::to_string(getpid()) + "_" + name;
}

const std::string& inputFile() {
    static const std::string path = [] {
        const std::string file = tempPath("in.raw");
        std::vector<std::int16_t> pcm(static_cast<std::size_t>(kRate) * kSeconds * 2);
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0, 1500);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const double t = static_cast<double>(i / 2) / kRate;
            const double tone =
                9000 * std::sin(2 * std::numbers::pi * 220 * t) +
                4000 * std::sin(2 * std::numbers::pi * (i % 2 != 0 ? 1375 : 660) * t);
            pcm[i] = static_cast<std::int16_t>(std::clamp(tone + noise(random), -32768.0, 32767.0));
        }
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out != nullptr) {
            std::fwrite(pcm.data(), sizeof pcm[0], pcm.size(), out);
            std::fclose(out);
        }
        return file;
    }();
    return path;
}

double cpuSeconds(const timeval& user, const timeval& system) {
    return static_cast<double>(user.tv_sec + system.tv_sec) +
           static_cast<double>(user.tv_usec + system.tv_usec) / 1e6;
}

double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage.ru_utime, usage.ru_stime);
}

double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_SonaroMsAdpcm(benchmark::State& state) {
    const sonaro::CodecManager codecs;
    sonaro::WaveFormat format;
    for (const auto& details : codecs.Formats(3, 2)) {
        if (details.format.samplesPerSec == kRate && details.format.channels == 2) {
            format = details.format;
        }
    }
    const std::string output = tempPath("ours.wav");
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(kBlockFrames) * 2);
    std::vector<sonaro::InternalSample> block(pcm.size());
    double wall = 0;
    for (auto _ : state) {
        const double cpuStart = ownCpuSeconds();
        const double wallStart = wallSeconds();
        std::FILE* in = std::fopen(inputFile().c_str(), "rb");
        std::optional<sonaro::CompressedWavWriter> writer(std::in_place, output, format, codecs);
        if (in == nullptr || writer->isUnusable()) {
            state.SkipWithError("cannot read the input or write the output");
            break;
        }
        std::size_t got = 0;
        while ((got = std::fread(pcm.data(), sizeof pcm[0], pcm.size(), in)) > 0) {
            for (std::size_t i = 0; i < got; ++i) {
                block[i] = sonaro::ToInternalSample(pcm[i]);
            }
            writer->Write(block.data(), static_cast<int>(got / 2));
        }
        std::fclose(in);
        writer.reset();  // completes the file
        state.SetIterationTime(ownCpuSeconds() - cpuStart);
        wall += wallSeconds() - wallStart;
    }
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
    unlink(output.c_str());
}

void BM_FfmpegAdpcmMs(benchmark::State& state) {
    const std::string output = tempPath("ffmpeg.wav");
    const std::vector<std::string> args = {
        "ffmpeg", "-nostdin", "-loglevel", "error", "-y",        "-f",   "s16le",    "-ar",
        "44100",  "-ac",      "2",         "-i",    inputFile(), "-c:a", "adpcm_ms", output};
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    double wall = 0;
    for (auto _ : state) {
        const double wallStart = wallSeconds();
        pid_t child = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0 ||
            wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("ffmpeg did not run");
            break;
        }
        state.SetIterationTime(cpuSeconds(usage.ru_utime, usage.ru_stime));
        wall += wallSeconds() - wallStart;
    }
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
    unlink(output.c_str());
}

BENCHMARK(BM_SonaroMsAdpcm)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FfmpegAdpcmMs)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink(inputFile().c_str());
    return 0;
}
