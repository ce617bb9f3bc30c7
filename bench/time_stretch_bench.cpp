// The time-stretch filter beside soundstretch and ffmpeg's atempo changing the tempo of the same
// spoken passage (espeak-ng, 22050 Hz mono) in the same run. The counter out_s_per_cpu_s is
// seconds of output per CPU second: ours reads the file through the filter in this process;
// a peer is a whole process that also writes its output file, measured from its rusage, and
// out_s_per_cpu_s_net takes off its start-up (the same command on a 50 ms cut of the file).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "recordings/time_stretch_filter.h"
#include "stretch_support.h"

namespace {

using sonaro::bench::RunChild;

struct Speech {
    sonaro::bench::TempFolder folder;
    std::string path = folder.file("speech.wav");
    std::string cut = folder.file("cut.wav");
    double seconds = 0;
    bool ok = false;

    Speech() {
        int rate = 0;
        ok = folder.ok() && sonaro::bench::MakeSpeech(path) &&
             RunChild({"sox", path, cut, "trim", "0", "0.05"}).has_value();
        const std::vector<float> samples =
            ok ? sonaro::bench::ReadMono(path, &rate) : std::vector<float>{};
        ok = ok && rate == 22050 && !samples.empty();
        seconds = ok ? static_cast<double>(samples.size()) / rate : 0;
    }
};

const Speech& speech() {
    static const Speech instance;
    return instance;
}

double speedOf(const benchmark::State& state) {
    return static_cast<double>(state.range(0)) / 100;
}

void setRate(benchmark::State& state, const char* name, double outputSeconds, double cpuSeconds) {
    state.counters[name] = cpuSeconds > 0 ? outputSeconds / cpuSeconds : 0;
}

void BM_TimeStretchFilter(benchmark::State& state) {
    const Speech& input = speech();
    if (!input.ok) {
        state.SkipWithError("espeak-ng or sox failed");
        return;
    }
    const double speed = speedOf(state);
    std::vector<sonaro::InternalSample> block(4096);
    double cpu = 0;
    double output = 0;
    for (auto _ : state) {
        const double start = sonaro::bench::OwnCpuSeconds();
        sonaro::SourceRef filter =
            sonaro::MakeTimeStretchFilter(sonaro::OpenRecordingFile(input.path), speed);
        std::int64_t frames = 0;
        while (filter->GetPosition() < filter->GetLength()) {
            filter->Read(block.data(), static_cast<int>(block.size()));
            frames += static_cast<std::int64_t>(block.size());
        }
        benchmark::DoNotOptimize(block.data());
        cpu += sonaro::bench::OwnCpuSeconds() - start;
        output += static_cast<double>(frames) / filter->rate();
    }
    setRate(state, "out_s_per_cpu_s", output, cpu);
}

using Command =
    std::function<std::vector<std::string>(const std::string&, const std::string&, double)>;

void runPeer(benchmark::State& state, const Command& command) {
    const Speech& input = speech();
    if (!input.ok) {
        state.SkipWithError("espeak-ng or sox failed");
        return;
    }
    const double speed = speedOf(state);
    const std::string out = input.folder.file("out.wav");
    std::optional<double> startup;
    for (int run = 0; run < 3; ++run) {
        const auto seconds = RunChild(command(input.cut, out, speed));
        startup = seconds && (!startup || *seconds < *startup) ? seconds : startup;
    }
    double cpu = 0;
    for (auto _ : state) {
        const auto seconds = RunChild(command(input.path, out, speed));
        if (!seconds || !startup) {
            state.SkipWithError("the peer program failed");
            return;
        }
        state.SetIterationTime(*seconds);
        cpu += *seconds;
    }
    const double output = static_cast<double>(state.iterations()) * input.seconds / speed;
    setRate(state, "out_s_per_cpu_s", output, cpu);
    setRate(state, "out_s_per_cpu_s_net", output,
            cpu - static_cast<double>(state.iterations()) * *startup);
    state.counters["startup_ms"] = *startup * 1000;
}

void BM_Soundstretch(benchmark::State& state) {
    runPeer(state, sonaro::bench::SoundstretchArgs);
}

void BM_FfmpegAtempo(benchmark::State& state) {
    runPeer(state, sonaro::bench::FfmpegArgs);
}

}  // namespace

BENCHMARK(BM_TimeStretchFilter)->Arg(50)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Soundstretch)
    ->Arg(50)
    ->Arg(100)
    ->Arg(150)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegAtempo)
    ->Arg(50)
    ->Arg(100)
    ->Arg(150)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
