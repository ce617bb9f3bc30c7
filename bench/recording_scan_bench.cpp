// A scan of the recordings folder (2,000 short WAV and 200 short MP3 files made once by the
// program's writers) with a fresh length cache ("cold": every MP3 is scanned), with the cache
// filled by an earlier scan ("warm"), and with a new cache read from the file an earlier scan
// saved ("restart"), beside `soxi -D` reading the durations of the same files (all, the WAV files
// alone, the MP3 files alone), in one run. The files stay in the page cache between runs (it cannot
// be dropped without root), so every figure is a warm-page-cache figure; "cold" is only about the
// length cache. Times are wall-clock; "cpu_ms" adds the CPU time of all our threads (the scan runs
// on a worker), or of the soxi processes, per iteration.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "formats/codec_manager.h"
#include "formats/output_writer.h"
#include "recordings/recording_scanner.h"
#include "threads/child_process.h"

namespace {

using namespace sonaro;

constexpr int kWavFiles = 2000;
constexpr int kMp3Files = 200;
constexpr std::size_t kSoxiChunk = 400;  // paths per soxi run, well under the argument limit

// The user-interface thread of the benchmark: the thread that waits for the scan.
class QueueDispatcher final : public UiDispatcher {
  public:
    void post(Task task) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_tasks.push_back(std::move(task));
        m_posted.notify_one();
    }
    void runUntil(const bool& done) {
        while (!done) {
            std::unique_lock<std::mutex> hold(m_lock);
            m_posted.wait(hold, [this] { return !m_tasks.empty(); });
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            hold.unlock();
            task();
        }
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<Task> m_tasks;
};

class CountingListener final : public RecordingScanListener {
  public:
    void OnRecordingsFound(std::vector<RecordingItem> found) override { items += found.size(); }
    void OnScanProgress(int, int) override {}
    void OnScanFinished() override { finished = true; }

    std::size_t items = 0;
    bool finished = false;
};

struct Folder {
    std::string path;
    std::vector<std::string> files;  // the WAV files, then the MP3 files
    bool ok = false;
};

bool writeSilence(const std::string& path, const RecordingFormat& format, int frames, int channels,
                  const CodecManager& codecs, const std::string& lame) {
    SinkRef sink = OpenOutputWriter(path, format, codecs, lame);
    if (sink->isUnusable()) {
        return false;
    }
    const std::vector<InternalSample> silence(static_cast<std::size_t>(frames) * channels, 0);
    sink->Write(silence.data(), frames);
    return true;
}

bool g_folderMade = false;

Folder& TheFolder() {
    static Folder folder = [] {
        g_folderMade = true;
        Folder made;
        const char* tmp = std::getenv("TMPDIR");
        made.path = std::string(tmp != nullptr ? tmp : "/tmp") + "/sonaro_scan_bench_" +
                    std::to_string(getpid());
        std::filesystem::create_directories(made.path);
        const CodecManager codecs;
        const std::string lame = FindProgramOnPath("lame");
        RecordingFormat wav;
        wav.wav = MakePcmWaveFormat(8000, 1, 16);
        RecordingFormat mp3;
        mp3.format = OutputFormat::Mp3;
        made.ok = !lame.empty();
        for (int i = 0; made.ok && i < kWavFiles; ++i) {
            made.files.push_back(made.path + "/take " + std::to_string(i) + ".wav");
            made.ok = writeSilence(made.files.back(), wav, 8000 + i, 1, codecs, lame);
        }
        for (int i = 0; made.ok && i < kMp3Files; ++i) {
            made.files.push_back(made.path + "/call " + std::to_string(i) + ".mp3");
            made.ok = writeSilence(made.files.back(), mp3, 44100 * 2 + i * 100, 2, codecs, lame);
        }
        return made;
    }();
    return folder;
}

double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec * 1e-3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Sets the counters shared by every benchmark from the CPU time used since `startMs`.
void report(benchmark::State& state, int who, double startMs) {
    state.counters["cpu_ms"] = benchmark::Counter(
        (cpuMs(who) - startMs) /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(TheFolder().files.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void Scan(RecordingLengthCache& lengths, benchmark::State& state) {
    QueueDispatcher dispatcher;
    RecordingScanner scanner(dispatcher, lengths);
    CountingListener listener;
    scanner.Scan(TheFolder().path, {}, &listener);
    dispatcher.runUntil(listener.finished);
    if (listener.items != TheFolder().files.size()) {
        state.SkipWithError("the scan missed files");
    }
}

bool prepared(benchmark::State& state) {
    if (!TheFolder().ok) {
        state.SkipWithError("could not make the recordings (is lame installed?)");
        return false;
    }
    return true;
}

void BM_ScanColdLengthCache(benchmark::State& state) {
    if (!prepared(state)) {
        return;
    }
    const double start = cpuMs(RUSAGE_SELF);
    for (auto _ : state) {
        RecordingLengthCache lengths;
        Scan(lengths, state);
    }
    report(state, RUSAGE_SELF, start);
}

void BM_ScanWarmLengthCache(benchmark::State& state) {
    if (!prepared(state)) {
        return;
    }
    RecordingLengthCache lengths;
    Scan(lengths, state);
    const double start = cpuMs(RUSAGE_SELF);
    for (auto _ : state) {
        Scan(lengths, state);
    }
    report(state, RUSAGE_SELF, start);
}

void BM_ScanAfterRestart(benchmark::State& state) {
    if (!prepared(state)) {
        return;
    }
    const std::string cacheFile = TheFolder().path + ".lengths";
    {
        RecordingLengthCache lengths(ReadRecordingLengthMs, cacheFile);
        Scan(lengths, state);
        if (!lengths.Save()) {
            state.SkipWithError("the length cache was not saved");
            return;
        }
    }
    const double start = cpuMs(RUSAGE_SELF);
    for (auto _ : state) {
        RecordingLengthCache lengths(ReadRecordingLengthMs, cacheFile);
        Scan(lengths, state);
    }
    report(state, RUSAGE_SELF, start);
    std::filesystem::remove(cacheFile);
}

// Argument: 0 every file, 1 the WAV files, 2 the MP3 files.
void BM_SoxiDurations(benchmark::State& state) {
    if (!prepared(state)) {
        return;
    }
    const std::vector<std::string>& all = TheFolder().files;
    const auto firstMp3 = all.begin() + kWavFiles;
    const std::vector<std::string> files = state.range(0) == 0 ? all
                                           : state.range(0) == 1
                                               ? std::vector<std::string>(all.begin(), firstMp3)
                                               : std::vector<std::string>(firstMp3, all.end());
    const double start = cpuMs(RUSAGE_CHILDREN);
    for (auto _ : state) {
        std::size_t lines = 0;
        for (std::size_t first = 0; first < files.size(); first += kSoxiChunk) {
            SpawnOptions options;
            options.argv = {"soxi", "-D"};
            const std::size_t last = std::min(files.size(), first + kSoxiChunk);
            options.argv.insert(options.argv.end(), files.begin() + first, files.begin() + last);
            options.pipeStdout = true;
            ChildProcess soxi;
            if (!soxi.start(options)) {
                state.SkipWithError("soxi did not start");
                return;
            }
            const std::string output = soxi.readAllOutput();
            lines += static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
            soxi.wait(-1);
        }
        if (lines != files.size()) {
            state.SkipWithError("soxi did not give every duration");
            return;
        }
    }
    report(state, RUSAGE_CHILDREN, start);
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_ScanColdLengthCache)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ScanWarmLengthCache)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ScanAfterRestart)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_SoxiDurations)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_folderMade) {
        std::filesystem::remove_all(TheFolder().path);
    }
    return 0;
}
