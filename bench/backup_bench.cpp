// The backup's four compression entries beside sox and ffmpeg doing the same conversion of the
// same file: one minute of 44.1 kHz stereo 16-bit WAV (two tones with noise) to raw GSM, MP3 at 8
// and 16 kbit/s and GSM WAV at 8 kHz. Each run reports seconds of audio per second: per wall
// second (the counter "audio_s_per_s") and per CPU second ("audio_s_per_cpu_s": user and system
// time of this process and of its children, lame included, against the peer's from wait4).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "recordings/backup_job.h"
#include "threads/child_process.h"
#include "threads/progress_reporter.h"
#include "threads/ui_dispatcher.h"

extern char** environ;

namespace {

constexpr double kSeconds = 60;

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/sonaro_backup_bench_" +
           std::to_string(getpid()) + "_" + name;
}

const std::string& inputFile() {
    static const std::string path = [] {
        const std::string file = tempPath("in.wav");
        sonaro::ChildProcess sox;
        sonaro::SpawnOptions options;
        options.argv = {"sox", "-n",         "-r",    "44100", "-c",   "2",    "-b",
                        "16",  file,         "synth", "60",    "sine", "220",  "sine",
                        "660", "whitenoise", "remix", "1,3",   "2,3",  "gain", "-6"};
        return sox.start(options) && sox.wait(-1) == 0 ? file : std::string();
    }();
    return path;
}

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ownAndChildrenCpuSeconds() {
    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return cpuSeconds(self) + cpuSeconds(children);
}

double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs the job's reports at once on the converting thread.
class InlineDispatcher final : public sonaro::UiDispatcher {
  public:
    void post(Task task) override { task(); }
};

class InlineJob final : public sonaro::LProgressReporter {
  public:
    explicit InlineJob(sonaro::UiDispatcher& dispatcher) : LProgressReporter(dispatcher) {}

  protected:
    void Run() override {}
};

void report(benchmark::State& state, double wall, double cpu) {
    const auto runs = static_cast<double>(state.iterations());
    state.counters["audio_s_per_s"] = kSeconds * runs / wall;
    state.counters["audio_s_per_cpu_s"] = kSeconds * runs / cpu;
}

void BM_Sonaro(benchmark::State& state) {
    const auto entry = static_cast<sonaro::BackupEntry>(state.range(0));
    const std::string output = tempPath("ours") + sonaro::BackupExtension(entry);
    const std::string lame = sonaro::FindProgramOnPath("lame");
    InlineDispatcher dispatcher;
    InlineJob job(dispatcher);
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuStart = ownAndChildrenCpuSeconds();
        const double wallStart = wallSeconds();
        const sonaro::ConvertOutcome outcome =
            sonaro::ConvertForBackup(inputFile(), output, entry, lame, sonaro::JobShare(job));
        if (outcome.result != sonaro::ConvertResult::Written) {
            state.SkipWithError(outcome.error.c_str());
            break;
        }
        const double took = wallSeconds() - wallStart;
        state.SetIterationTime(took);
        wall += took;
        cpu += ownAndChildrenCpuSeconds() - cpuStart;
    }
    report(state, wall, cpu);
    state.SetLabel(sonaro::kBackupEntryNames[static_cast<std::size_t>(state.range(0))]);
    unlink(output.c_str());
}

// The same conversion by the peer tool.
std::vector<std::string> peerCommand(int entry, const std::string& output) {
    switch (entry) {
        case 0:
            return {"sox", inputFile(), "-r", "8000", "-c", "1", output};
        case 1:
        case 2:
            return {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", inputFile(), "-ac", "1",
                    // The rate lame chooses for our 22.05 kHz feed; at 44.1 kHz the bit rate
                    // would be raised to MPEG 1's lowest, 32 kbit/s.
                    "-ar", entry == 1 ? "8000" : "16000", "-c:a", "libmp3lame", "-b:a",
                    entry == 1 ? "8k" : "16k", output};
        default:
            return {"sox", inputFile(), "-r", "8000", "-c", "1", "-e", "gsm-full-rate", output};
    }
}

void BM_Peer(benchmark::State& state) {
    const int entry = static_cast<int>(state.range(0));
    const std::string output =
        tempPath("peer") + sonaro::BackupExtension(static_cast<sonaro::BackupEntry>(entry));
    const std::vector<std::string> args = peerCommand(entry, output);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double wallStart = wallSeconds();
        pid_t child = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
            wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("the peer tool did not run");
            break;
        }
        const double took = wallSeconds() - wallStart;
        state.SetIterationTime(took);
        wall += took;
        cpu += cpuSeconds(usage);
    }
    report(state, wall, cpu);
    state.SetLabel(args[0]);
    unlink(output.c_str());
}

BENCHMARK(BM_Sonaro)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Peer)->DenseRange(0, 3)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
