// The file readers and the player's rate converter beside sox doing the same work on the same
// files, in one run, as seconds of audio per CPU second (user and system; ours is this process's,
// sox's the child's, best of a few runs). sox is a whole process: it is shown as measured and
// minus its start-up ("net"), which is a run of the same command that stops after one sample
// (loading, header parsing and, with "rate", the filter design). sox's "rate" is a much longer
// filter than ours: its figure places ours, it is not the same work.
//
// Then the rate converter's quality at 44.1 -> 8 kHz beside ffmpeg's "aresample" on the same WAV
// files: passband gain at 1, 2, 3 and 3.4 kHz, rejection of a 6 kHz tone (all of it aliases
// below 4 kHz) and the peak of a 0 dBFS 1 kHz tone, with the count of sample steps larger than
// any 1 kHz tone at 8 kHz can make (a wrapped sample makes one).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "formats/audio_file_opener.h"
#include "formats/codec_manager.h"
#include "formats/compressed_wav_writer.h"
#include "formats/format_settings.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"
#include "formats/peak_limiter.h"
#include "formats/source_rate_converter.h"

extern char** environ;

namespace {

using sonaro::InternalSample;

constexpr int kSeconds = 60;
constexpr int kBlockFrames = 4096;
constexpr int kRuns = 3;
constexpr int kQualityRate = 44100;
constexpr int kTargetRate = 8000;

std::string tempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/sonaro_reader_bench_" +
           std::to_string(getpid()) + "_" + name;
}

std::vector<InternalSample> testSignal(int rate, int channels) {
    std::vector<InternalSample> samples(static_cast<std::size_t>(rate) * kSeconds * channels);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 1500);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i / channels) / rate;
        const double tone = 9000 * std::sin(2 * std::numbers::pi * 220 * t) +
                            4000 * std::sin(2 * std::numbers::pi * (i % 2 != 0 ? 1375 : 660) * t);
        samples[i] = static_cast<InternalSample>(std::lround(tone + noise(random))) * 16;
    }
    return samples;
}

void writeAll(sonaro::AudioSink& sink, const std::vector<InternalSample>& samples) {
    const int channels = sink.channels();
    const int frames = static_cast<int>(samples.size()) / channels;
    for (int done = 0; done < frames; done += kBlockFrames) {
        sink.Write(&samples[static_cast<std::size_t>(done) * channels],
                   std::min(kBlockFrames, frames - done));
    }
}

std::optional<sonaro::WaveFormat> codecFormat(const sonaro::CodecManager& codecs, int driver,
                                              std::uint16_t tag, int rate, int channels) {
    for (const auto& details : codecs.Formats(driver, tag)) {
        if (details.format.samplesPerSec == static_cast<std::uint32_t>(rate) &&
            details.format.channels == channels) {
            return details.format;
        }
    }
    return std::nullopt;
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

// Runs a program (no shell); its standard output goes to `output` when given, else to
// /dev/null. The child's CPU seconds, or nothing when it could not run or failed.
std::optional<double> runChild(const std::vector<std::string>& args,
                               std::vector<std::uint8_t>* output = nullptr) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        if (pipe(pipeFds) != 0) {
            return std::nullopt;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t child = 0;
    const bool started =
        posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (output != nullptr) {
        close(pipeFds[1]);
        std::uint8_t buffer[65536];
        ssize_t got = 0;
        while (started && (got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            output->insert(output->end(), buffer, buffer + got);
        }
        close(pipeFds[0]);
    }
    if (!started) {
        return std::nullopt;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return cpuSeconds(usage.ru_utime, usage.ru_stime);
}

enum class Filter { None, RateTo8k, RateTo48k, Limiter };

sonaro::SourceRef openFiltered(const std::string& path, Filter filter) {
    sonaro::SourceRef source = sonaro::OpenRecordingFile(path);
    if (filter == Filter::RateTo8k) {
        return sonaro::MakeSourceRateConverter(source, kTargetRate);
    }
    if (filter == Filter::RateTo48k) {
        return sonaro::MakeSourceRateConverter(source, 48000);
    }
    if (filter == Filter::Limiter) {
        // A bound below the signal's peaks, so the limiter works on every chunk.
        return sonaro::MakeSource<sonaro::PeakLimiter>(source, 100000);
    }
    return source;
}

// Best CPU seconds of reading the whole file through the filter; nothing when it cannot open.
std::optional<double> oursSeconds(const std::string& path, Filter filter) {
    std::vector<InternalSample> block(static_cast<std::size_t>(kBlockFrames) * 2);
    std::optional<double> best;
    for (int run = 0; run < kRuns; ++run) {
        const double start = ownCpuSeconds();
        sonaro::SourceRef source = openFiltered(path, filter);
        if (source->isUnusable()) {
            return std::nullopt;
        }
        const std::int64_t frames = source->GetLength();
        for (std::int64_t done = 0; done < frames; done += kBlockFrames) {
            source->Read(block.data(),
                         static_cast<int>(std::min<std::int64_t>(kBlockFrames, frames - done)));
        }
        const double seconds = ownCpuSeconds() - start;
        best = best ? std::min(*best, seconds) : seconds;
    }
    return best;
}

std::optional<double> bestChild(const std::vector<std::string>& args) {
    std::optional<double> best;
    for (int run = 0; run < kRuns; ++run) {
        const std::optional<double> seconds = runChild(args);
        if (!seconds) {
            return std::nullopt;
        }
        best = best ? std::min(*best, *seconds) : *seconds;
    }
    return best;
}

std::vector<std::string> soxArgs(const std::string& path, const std::string& rate, bool oneSample) {
    std::vector<std::string> args = {"sox", "-V1", path, "-t", "raw", "-e", "signed-integer",
                                     "-b",  "16",  "-"};
    if (oneSample) {
        args.insert(args.end(), {"trim", "0", "1s"});
    }
    if (!rate.empty()) {
        args.insert(args.end(), {"rate", rate});
    }
    return args;
}

struct Row {
    const char* name;
    std::string path;
    Filter filter;
    std::string soxRate;  // empty: no rate effect; "-": no sox counterpart
};

void printSpeed(std::optional<double> seconds) {
    if (seconds && *seconds > 0) {
        std::printf(" %12.0f", kSeconds / *seconds);
    } else {
        std::printf(" %12s", seconds ? "inf" : "failed");
    }
}

void speedTable(const std::vector<Row>& rows) {
    std::printf("Seconds of audio per CPU second (%d s of audio per file, best of %d runs)\n",
                kSeconds, kRuns);
    std::printf("%-34s %12s %12s %12s %12s\n", "", "ours", "sox", "sox net", "start-up ms");
    for (const Row& row : rows) {
        std::printf("%-34s", row.name);
        printSpeed(oursSeconds(row.path, row.filter));
        if (row.soxRate == "-") {
            std::printf("\n");
            continue;
        }
        const auto sox = bestChild(soxArgs(row.path, row.soxRate, false));
        const auto startup = bestChild(soxArgs(row.path, row.soxRate, true));
        printSpeed(sox);
        if (sox && startup) {
            printSpeed(std::max(*sox - *startup, 0.0));
            std::printf(" %12.1f\n", *startup * 1000);
        } else {
            std::printf(" %12s %12s\n", "failed", "failed");
        }
    }
}

// --- quality ---

std::string toneFile(const std::string& name, double hertz, double amplitude, bool square) {
    const std::string path = tempPath(name);
    std::vector<InternalSample> samples(static_cast<std::size_t>(kQualityRate) * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double s =
            std::sin(2 * std::numbers::pi * hertz * static_cast<double>(i) / kQualityRate);
        const double value = square ? (s >= 0 ? amplitude : -amplitude) : amplitude * s;
        samples[i] = sonaro::ToInternalSample(
            static_cast<std::int16_t>(std::clamp<long>(std::lround(value), -32768, 32767)));
    }
    sonaro::PcmWavWriter wav(path, kQualityRate, 1, sonaro::PcmSampleType::Signed16);
    writeAll(wav, samples);
    return path;
}

// 16-bit scale, not clipped (ours may ring past full scale).
std::vector<double> oursAt8k(const std::string& path) {
    sonaro::SourceRef source =
        sonaro::MakeSourceRateConverter(sonaro::OpenRecordingFile(path), kTargetRate);
    std::vector<InternalSample> samples(static_cast<std::size_t>(source->GetLength()));
    source->Read(samples.data(), static_cast<int>(samples.size()));
    std::vector<double> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(),
                   [](InternalSample s) { return s / 16.0; });
    return out;
}

std::vector<double> ffmpegAt8k(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!runChild({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-af",
                   "aresample=" + std::to_string(kTargetRate), "-f", "s16le", "-"},
                  &bytes)) {
        return {};
    }
    std::vector<double> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

// The middle 1.5 s, an exact number of periods of every measured tone at 8 kHz.
std::vector<double> middle(const std::vector<double>& samples) {
    const std::size_t from = kTargetRate / 4;
    const std::size_t count = kTargetRate * 3 / 2;
    if (samples.size() < from + count) {
        return {};
    }
    return {samples.begin() + static_cast<long>(from),
            samples.begin() + static_cast<long>(from + count)};
}

double toneAmplitude(const std::vector<double>& samples, double hertz) {
    double c = 0;
    double s = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * std::numbers::pi * hertz * static_cast<double>(i) / kTargetRate;
        c += samples[i] * std::cos(phase);
        s += samples[i] * std::sin(phase);
    }
    return 2 * std::hypot(c, s) / static_cast<double>(samples.size());
}

double rms(const std::vector<double>& samples) {
    double sum = 0;
    for (const double s : samples) {
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

void qualityTable() {
    constexpr double kAmplitude = 16384;  // -6 dBFS
    using Resampler = std::function<std::vector<double>(const std::string&)>;
    const std::vector<std::pair<const char*, Resampler>> resamplers = {
        {"ours", oursAt8k}, {"ffmpeg aresample", ffmpegAt8k}};
    std::printf("\nRate converter 44100 -> 8000 Hz, quality (tones at -6 dBFS unless named)\n");
    std::printf("%-30s %16s %16s\n", "", resamplers[0].first, resamplers[1].first);
    for (const double hertz : {1000.0, 2000.0, 3000.0, 3400.0}) {
        const std::string path = toneFile("tone.wav", hertz, kAmplitude, false);
        std::printf("gain at %-6.0f Hz (dB)         ", hertz);
        for (const auto& [name, resample] : resamplers) {
            const auto out = middle(resample(path));
            if (out.empty()) {
                std::printf(" %16s", "failed");
            } else {
                std::printf(" %16.3f", 20 * std::log10(toneAmplitude(out, hertz) / kAmplitude));
            }
        }
        std::printf("\n");
        unlink(path.c_str());
    }
    {
        const std::string path = toneFile("tone.wav", 6000, kAmplitude, false);
        std::printf("%-30s", "rejection of 6000 Hz (dB)");
        for (const auto& [name, resample] : resamplers) {
            const auto out = middle(resample(path));
            if (out.empty()) {
                std::printf(" %16s", "failed");
            } else {
                std::printf(" %16.1f",
                            -20 * std::log10(rms(out) / (kAmplitude / std::numbers::sqrt2)));
            }
        }
        std::printf("\n");
        unlink(path.c_str());
    }
    for (const bool square : {false, true}) {
        const std::string path = toneFile("full.wav", 1000, 32767, square);
        std::printf("%-30s", square ? "0 dBFS 1 kHz square: peak" : "0 dBFS 1 kHz tone: peak");
        std::vector<int> wraps;
        for (const auto& [name, resample] : resamplers) {
            const auto out = resample(path);
            double peak = 0;
            int steps = 0;
            for (std::size_t i = 0; i < out.size(); ++i) {
                peak = std::max(peak, std::abs(out[i]));
                // A 1 kHz tone at 8 kHz moves at most 2 sin(pi/8) = 0.77 of full scale per
                // sample; a wrap jumps by nearly twice full scale.
                if (i > 0 && std::abs(out[i] - out[i - 1]) > 1.5 * 32767) {
                    ++steps;
                }
            }
            std::printf(" %16.0f", peak);
            wraps.push_back(steps);
        }
        std::printf("\n");
        if (!square) {
            std::printf("%-30s %16d %16d\n", "0 dBFS 1 kHz tone: wraps", wraps[0], wraps[1]);
        }
        unlink(path.c_str());
    }
    std::printf(
        "(ours is shown before any 16-bit conversion; its peak bound is twice full scale)\n");
}

struct Files {
    std::string pcm = tempPath("pcm.wav");
    std::string msAdpcm = tempPath("msadpcm.wav");
    std::string imaAdpcm = tempPath("ima.wav");
    std::string gsm = tempPath("gsm.wav");
    std::string mp3 = tempPath("a.mp3");
    bool ok = true;

    Files() {
        const auto stereo = testSignal(44100, 2);
        const sonaro::CodecManager codecs;
        const auto ms = codecFormat(codecs, 3, 2, 44100, 2);
        const auto ima = codecFormat(codecs, 2, 0x11, 44100, 2);
        if (!ms || !ima) {
            std::fprintf(stderr, "the codec manager offers no 44.1 kHz stereo ADPCM format\n");
            ok = false;
            return;
        }
        sonaro::PcmWavWriter wav(pcm, 44100, 2, sonaro::PcmSampleType::Signed16);
        sonaro::CompressedWavWriter msWriter(msAdpcm, *ms, codecs);
        sonaro::CompressedWavWriter imaWriter(imaAdpcm, *ima, codecs);
        sonaro::GsmWavWriter gsmWriter(gsm, 8000);
        sonaro::SinkRef encoder =
            sonaro::CreateMp3Writer("lame", mp3, sonaro::Mp3Settings(), 44100, 2);
        writeAll(wav, stereo);
        writeAll(msWriter, stereo);
        writeAll(imaWriter, stereo);
        writeAll(gsmWriter, testSignal(8000, 1));
        writeAll(*encoder, stereo);
    }
    ~Files() {
        for (const std::string* path : {&pcm, &msAdpcm, &imaAdpcm, &gsm, &mp3}) {
            unlink(path->c_str());
        }
    }
};

}  // namespace

int main() {
    const Files files;
    if (!files.ok) {
        return 1;
    }
    speedTable({
        {"WAV PCM 16-bit 44.1 kHz stereo", files.pcm, Filter::None, ""},
        {"WAV GSM 06.10 8 kHz mono", files.gsm, Filter::None, ""},
        {"WAV IMA ADPCM 44.1 kHz stereo", files.imaAdpcm, Filter::None, ""},
        {"WAV MS ADPCM 44.1 kHz stereo", files.msAdpcm, Filter::None, ""},
        {"MP3 44.1 kHz stereo", files.mp3, Filter::None, ""},
        {"WAV PCM + rate 44.1 -> 8 kHz", files.pcm, Filter::RateTo8k, "8000"},
        {"WAV PCM + rate 44.1 -> 48 kHz", files.pcm, Filter::RateTo48k, "48000"},
        {"WAV PCM + peak limiter", files.pcm, Filter::Limiter, "-"},
    });
    qualityTable();
    return 0;
}
