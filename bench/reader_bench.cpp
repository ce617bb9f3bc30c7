// The file readers beside sox decoding the same files: one minute of 44.1 kHz stereo as 16-bit
// PCM WAV, MS ADPCM WAV and MP3 (made by lame), read start to end; and the player's filters (rate
// converter to 48 kHz, peak limiter) over the PCM file. CPU seconds (user and system) per file:
// ours is this process's, sox's the child's. sox's "rate" effect is a different, much longer
// filter: its figure places ours, it is not the same work. "allocations" counts the heap
// allocations of our reads after the first block.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "audio/audio_samples.h"
#include "formats/audio_file_opener.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/format_settings.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/peak_limiter.h"
#include "formats/source_rate_converter.h"

extern char** environ;

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kBlockFrames = 4096;

std::string tempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/sonaro_reader_bench_" +
           std::to_string(getpid()) + "_" + name;
}

std::vector<sonaro::InternalSample> testSignal() {
    std::vector<sonaro::InternalSample> samples(static_cast<std::size_t>(kRate) * kSeconds * 2);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 1500);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i / 2) / kRate;
        const double tone = 9000 * std::sin(2 * std::numbers::pi * 220 * t) +
                            4000 * std::sin(2 * std::numbers::pi * (i % 2 != 0 ? 1375 : 660) * t);
        samples[i] = static_cast<sonaro::InternalSample>(std::lround(tone + noise(random))) * 16;
    }
    return samples;
}

void writeAll(sonaro::AudioSink& sink, const std::vector<sonaro::InternalSample>& samples) {
    const int frames = static_cast<int>(samples.size() / 2);
    for (int done = 0; done < frames; done += kBlockFrames) {
        sink.Write(&samples[static_cast<std::size_t>(done) * 2],
                   std::min(kBlockFrames, frames - done));
    }
}

struct Files {
    std::string pcm = tempPath("pcm.wav");
    std::string adpcm = tempPath("adpcm.wav");
    std::string mp3 = tempPath("a.mp3");

    Files() {
        const auto samples = testSignal();
        const sonaro::CodecManager codecs;
        sonaro::WaveFormat format;
        for (const auto& details : codecs.Formats(3, 2)) {
            if (details.format.samplesPerSec == kRate && details.format.channels == 2) {
                format = details.format;
            }
        }
        {
            sonaro::PcmWavWriter wav(pcm, kRate, 2, sonaro::PcmSampleType::Signed16);
            sonaro::CompressedWavWriter compressed(adpcm, format, codecs);
            sonaro::SinkRef encoder =
                sonaro::CreateMp3Writer("lame", mp3, sonaro::Mp3Settings(), kRate, 2);
            writeAll(wav, samples);
            writeAll(compressed, samples);
            writeAll(*encoder, samples);
        }
    }
    ~Files() {
        unlink(pcm.c_str());
        unlink(adpcm.c_str());
        unlink(mp3.c_str());
    }
};

const Files& files() {
    static const Files instance;
    return instance;
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

enum class Filter { None, RateTo48k, Limiter };

void readThrough(benchmark::State& state, const std::string& path, Filter filter) {
    std::vector<sonaro::InternalSample> block(static_cast<std::size_t>(kBlockFrames) * 2);
    for (auto _ : state) {
        const double start = ownCpuSeconds();
        sonaro::SourceRef source = sonaro::OpenRecordingFile(path);
        if (source->isUnusable()) {
            state.SkipWithError("cannot open the file");
            break;
        }
        const std::int64_t inputFrames = source->GetLength();
        if (filter == Filter::RateTo48k) {
            source = sonaro::MakeSourceRateConverter(source, 48000);
        } else if (filter == Filter::Limiter) {
            // A bound below the signal's peaks, so the limiter works on every chunk.
            source = sonaro::MakeSource<sonaro::PeakLimiter>(source, 100000);
        }
        const std::int64_t frames = source->GetLength();
        // Every block after the first: the steady state, which should allocate nothing.
        source->Read(block.data(), kBlockFrames);
        const long allocationsBefore = g_allocations.load();
        for (std::int64_t done = kBlockFrames; done < frames; done += kBlockFrames) {
            source->Read(block.data(),
                         static_cast<int>(std::min<std::int64_t>(kBlockFrames, frames - done)));
        }
        benchmark::DoNotOptimize(block.data());
        state.SetIterationTime(ownCpuSeconds() - start);
        state.counters["frames"] = static_cast<double>(inputFrames);
        state.counters["allocations"] =
            static_cast<double>(g_allocations.load() - allocationsBefore);
    }
}

void soxThrough(benchmark::State& state, const std::string& path, bool rate) {
    std::vector<std::string> args = {"sox", "-V1", path,       "-t", "raw", "-e", "signed-integer",
                                     "-b",  "16",  "/dev/null"};
    if (rate) {
        args.insert(args.end(), {"rate", "48000"});
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        rusage usage{};
        if (posix_spawnp(&child, "sox", nullptr, nullptr, argv.data(), environ) != 0 ||
            wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("sox did not run");
            break;
        }
        state.SetIterationTime(cpuSeconds(usage.ru_utime, usage.ru_stime));
    }
}

void BM_OursPcmWav(benchmark::State& s) {
    readThrough(s, files().pcm, Filter::None);
}
void BM_SoxPcmWav(benchmark::State& s) {
    soxThrough(s, files().pcm, false);
}
void BM_OursMsAdpcmWav(benchmark::State& s) {
    readThrough(s, files().adpcm, Filter::None);
}
void BM_SoxMsAdpcmWav(benchmark::State& s) {
    soxThrough(s, files().adpcm, false);
}
void BM_OursMp3(benchmark::State& s) {
    readThrough(s, files().mp3, Filter::None);
}
void BM_SoxMp3(benchmark::State& s) {
    soxThrough(s, files().mp3, false);
}
void BM_OursPcmWavTo48k(benchmark::State& s) {
    readThrough(s, files().pcm, Filter::RateTo48k);
}
void BM_SoxPcmWavRate48k(benchmark::State& s) {
    soxThrough(s, files().pcm, true);
}
void BM_OursPcmWavLimited(benchmark::State& s) {
    readThrough(s, files().pcm, Filter::Limiter);
}

#define READER_BENCH(name) \
    BENCHMARK(name)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2)
READER_BENCH(BM_OursPcmWav);
READER_BENCH(BM_SoxPcmWav);
READER_BENCH(BM_OursMsAdpcmWav);
READER_BENCH(BM_SoxMsAdpcmWav);
READER_BENCH(BM_OursMp3);
READER_BENCH(BM_SoxMp3);
READER_BENCH(BM_OursPcmWavTo48k);
READER_BENCH(BM_SoxPcmWavRate48k);
READER_BENCH(BM_OursPcmWavLimited);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    files();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
