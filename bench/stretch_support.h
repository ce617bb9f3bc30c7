#pragma once

// What the time-stretch benchmarks share: the spoken test passage, running the peer programs
// with their CPU time, and WAV files read back as 16-bit-scale floats.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/audio_file_opener.h"

extern char** environ;

namespace sonaro::bench {

// About 25 s of speech; espeak-ng speaks at 22050 Hz mono.
inline constexpr const char* kPassage =
    "The recorder keeps every meeting in a folder of its own. When you play a recording back, "
    "you may slow it down to write down each word, or speed it up to skim through the parts "
    "that matter less. Holding the rewind button plays short pieces of the sound as it moves "
    "back, so that you can hear where you are. A good stretch keeps the pitch of the voice, "
    "its timbre and its rhythm, and it does not smear the consonants into a blur.";

// A fresh folder under TMPDIR (or /tmp), removed with the object.
class TempFolder {
  public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr ? base : "/tmp") + "/sonaro_stretch_XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool ok() const { return !m_path.empty(); }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Runs a program (no shell, output discarded); its CPU seconds (user and system), or nothing
// when it could not run or failed.
inline std::optional<double> RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const bool started =
        posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (!started || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline bool MakeSpeech(const std::string& path) {
    return RunChild({"espeak-ng", "-v", "en-us", "-w", path, kPassage}).has_value();
}

// Command lines of the peers that change the tempo of `in` by `speed` into `out`.
inline std::vector<std::string> SoundstretchArgs(const std::string& in, const std::string& out,
                                                 double speed) {
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "-tempo=%g", (speed - 1) * 100);
    return {"soundstretch", in, out, tempo};
}

inline std::vector<std::string> FfmpegArgs(const std::string& in, const std::string& out,
                                           double speed) {
    char filter[32];
    std::snprintf(filter, sizeof filter, "atempo=%g", speed);
    return {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", in, "-filter:a", filter, out};
}

// `--tempo X` plays X times as fast.
inline std::vector<std::string> RubberbandArgs(const std::string& in, const std::string& out,
                                               double speed) {
    return {"rubberband", "-q", "--tempo", std::to_string(speed), in, out};
}

// The first channel of a file at 16-bit scale, empty when it cannot be read.
inline std::vector<float> ReadMono(const std::string& path, int* rate = nullptr) {
    SourceRef source = OpenRecordingFile(path);
    if (source->isUnusable()) {
        return {};
    }
    if (rate != nullptr) {
        *rate = source->rate();
    }
    const auto channels = static_cast<std::size_t>(source->channels());
    std::vector<InternalSample> block(static_cast<std::size_t>(kMaxBlockFrames) * channels);
    std::vector<float> samples;
    for (std::int64_t left = source->GetLength(); left > 0; left -= kMaxBlockFrames) {
        const int take = static_cast<int>(std::min<std::int64_t>(left, kMaxBlockFrames));
        source->Read(block.data(), take);
        for (int f = 0; f < take; ++f) {
            samples.push_back(static_cast<float>(block[static_cast<std::size_t>(f) * channels]) /
                              (1 << kInternalShift));
        }
    }
    return samples;
}

}  // namespace sonaro::bench
