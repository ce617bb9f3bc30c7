// The FLAC (level 5) and Opus (64 kbit/s) writers beside the `flac` and `opusenc` programs on
// the same input: one minute of stereo 16-bit sound (tones with noise) from a raw file, 44.1 kHz
// for FLAC and 48 kHz for Opus (the rate it codes, so neither side resamples). Time is CPU
// seconds (user and system) per file: ours is this process's, the program's is the child's;
// audio_s_per_cpu_s is the throughput. Also the cost of the writers' checkpoint (header refresh
// and fdatasync once a second) on the capture thread: the mean time of the 100 ms blocks whose
// write crosses a checkpoint beside that of the others, for a WAV written to a real file.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/flac_writer.h"
#include "formats/opus_writer.h"
#include "formats/pcm_wav_writer.h"

extern char** environ;

namespace {

constexpr int kSeconds = 60;
constexpr int kBlockMs = 100;

std::string tempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/sonaro_lossless_bench_" +
           std::to_string(getpid()) + "_" + name;
}

const std::string& inputFile(int rate) {
    static std::map<int, std::string> files;
    auto [entry, made] = files.try_emplace(rate, tempPath("in" + std::to_string(rate) + ".raw"));
    if (made) {
        std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate) * kSeconds * 2);
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0, 1500);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const double t = static_cast<double>(i / 2) / rate;
            const double tone =
                9000 * std::sin(2 * std::numbers::pi * 220 * t) +
                4000 * std::sin(2 * std::numbers::pi * (i % 2 != 0 ? 1375 : 660) * t);
            pcm[i] = static_cast<std::int16_t>(std::clamp(tone + noise(random), -32768.0, 32767.0));
        }
        std::FILE* out = std::fopen(entry->second.c_str(), "wb");
        if (out != nullptr) {
            std::fwrite(pcm.data(), sizeof pcm[0], pcm.size(), out);
            std::fclose(out);
        }
    }
    return entry->second;
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

using WriterMaker = std::function<std::unique_ptr<sonaro::AudioSink>(const std::string&)>;

// Feeds the input file to a fresh writer in 100 ms blocks, as capture does.
void runOurs(benchmark::State& state, int rate, const WriterMaker& make) {
    const std::string output = tempPath("ours");
    const std::size_t blockSamples = static_cast<std::size_t>(rate) * kBlockMs / 1000 * 2;
    std::vector<std::int16_t> pcm(blockSamples);
    std::vector<sonaro::InternalSample> block(blockSamples);
    double cpu = 0;
    for (auto _ : state) {
        const double cpuStart = ownCpuSeconds();
        std::FILE* in = std::fopen(inputFile(rate).c_str(), "rb");
        std::unique_ptr<sonaro::AudioSink> writer = make(output);
        if (in == nullptr || writer->isUnusable()) {
            state.SkipWithError("cannot read the input or write the output");
            if (in != nullptr) {
                std::fclose(in);
            }
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
        const double used = ownCpuSeconds() - cpuStart;
        state.SetIterationTime(used);
        cpu += used;
    }
    state.counters["audio_s_per_cpu_s"] = kSeconds * static_cast<double>(state.iterations()) / cpu;
    unlink(output.c_str());
}

void runProgram(benchmark::State& state, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    double cpu = 0;
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
            wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError((args[0] + " did not run").c_str());
            break;
        }
        const double used = cpuSeconds(usage.ru_utime, usage.ru_stime);
        state.SetIterationTime(used);
        cpu += used;
    }
    state.counters["audio_s_per_cpu_s"] = kSeconds * static_cast<double>(state.iterations()) / cpu;
}

void BM_SonaroFlacLevel5(benchmark::State& state) {
    runOurs(state, 44100, [](const std::string& path) {
        return std::make_unique<sonaro::FlacWriter>(path + ".flac", 44100, 2, 16, 5);
    });
}

void BM_FlacProgramLevel5(benchmark::State& state) {
    const std::string output = tempPath("flac.flac");
    runProgram(state,
               {"flac", "-5", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                "--channels=2", "--bps=16", "--sample-rate=44100", "-o", output, inputFile(44100)});
    unlink(output.c_str());
}

void BM_SonaroOpus64(benchmark::State& state) {
    runOurs(state, sonaro::OpusWriter::kSampleRate, [](const std::string& path) {
        return std::make_unique<sonaro::OpusWriter>(path + ".opus", 2, 64, false, 10);
    });
}

void BM_OpusencProgram64(benchmark::State& state) {
    const std::string output = tempPath("opusenc.opus");
    runProgram(state, {"opusenc", "--quiet", "--bitrate", "64", "--raw", "--raw-rate", "48000",
                       "--raw-chan", "2", "--raw-bits", "16", inputFile(48000), output});
    unlink(output.c_str());
}

// 100 ms blocks of 44.1 kHz stereo into a WAV file on disk; every tenth write crosses a
// checkpoint.
void BM_CheckpointCost(benchmark::State& state) {
    constexpr int kRate = 44100;
    constexpr int kFrames = kRate * kBlockMs / 1000;
    const std::string output = tempPath("checkpoint.wav");
    std::vector<sonaro::InternalSample> block(static_cast<std::size_t>(kFrames) * 2, 4096);
    sonaro::PcmWavWriter writer(output, kRate, 2, sonaro::PcmSampleType::Signed16);
    double crossing = 0;
    double other = 0;
    long crossings = 0;
    long blocks = 0;
    for (auto _ : state) {
        const bool crosses = (blocks + 1) % (1000 / kBlockMs) == 0;
        const double start = wallSeconds();
        writer.Write(block.data(), kFrames);
        const double took = wallSeconds() - start;
        state.SetIterationTime(took);
        (crosses ? crossing : other) += took;
        crossings += crosses ? 1 : 0;
        ++blocks;
    }
    const double plain = other / static_cast<double>(std::max(blocks - crossings, 1L));
    state.counters["checkpoint_block_ms"] =
        1000 * crossing / static_cast<double>(std::max(crossings, 1L));
    state.counters["plain_block_ms"] = 1000 * plain;
    unlink(output.c_str());
}

BENCHMARK(BM_SonaroFlacLevel5)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FlacProgramLevel5)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_SonaroOpus64)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_OpusencProgram64)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_CheckpointCost)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(600);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink(inputFile(44100).c_str());
    unlink(inputFile(48000).c_str());
    return 0;
}
