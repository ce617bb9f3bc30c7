#include "formats/mp3_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <thread>

#include "formats/byte_order.h"

namespace sonaro {
namespace {

constexpr const char* kModeLetters[4] = {"s", "j", "f", "m"};

int highBitRate(const Mp3Settings& s) {
    return s.constantBitRate ? s.cbrBitRate : s.vbrMaxBitRate;
}

int lowBitRate(const Mp3Settings& s) {
    return s.constantBitRate ? s.cbrBitRate : s.vbrMinBitRate;
}

// The encoder only reports a file it cannot create after it started; creating it first lets the
// recording fail at once, with the same message as the other formats. The encoder replaces it.
bool canCreate(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// What an encoder that could not start or died early leaves behind is no recording.
void removeIfEmpty(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0) {
        ::unlink(path.c_str());
    }
}

int snapRate(int r) {
    if (r > 44100 && r < 48000)
        return 44100;
    if (r > 32000 && r < 44100)
        return 44100;
    if (r > 24000 && r < 32000)
        return 32000;
    if (r > 22050 && r < 24000)
        return 22050;
    if (r > 16000 && r < 22050)
        return 22050;
    if (r > 11025 && r < 16000)
        return 11025;
    if (r > 8000 && r < 11025)
        return 11025;
    return r < 8000 ? 8000 : r;
}

}  // namespace

int ChooseMp3SampleRate(int inputRate, const Mp3Settings& settings) {
    int rate = std::min(inputRate, 48000);
    if (highBitRate(settings) > 160 && inputRate < 32000) {
        return 44100;
    }
    if (lowBitRate(settings) < 32 && rate > 22050) {
        rate = 22050;
    }
    return snapRate(rate);
}

int ChooseMp3Channels(int inputChannels, const Mp3Settings& settings) {
    return lowBitRate(settings) < 24 ? 1 : inputChannels;
}

std::vector<std::string> BuildMp3EncoderArguments(const std::string& encoderPath,
                                                  const Mp3Settings& settings, int sampleRate,
                                                  int channels, const std::string& outputPath) {
    int mode = settings.channelMode > 3 ? 1 : settings.channelMode;
    if (highBitRate(settings) < 24) {
        mode = 3;
    }
    std::vector<std::string> args{encoderPath};
    if (channels == 1) {
        mode = 3;
    } else if (mode == 3) {
        args.emplace_back("-a");
    }
    args.insert(args.end(), {"-m", kModeLetters[mode]});
    if (settings.errorProtection) {
        args.emplace_back("-p");
    }
    if (settings.constantBitRate) {
        args.insert(args.end(), {"-b", std::to_string(settings.cbrBitRate)});
        if (settings.highQuality) {
            args.emplace_back("-h");
        }
    } else {
        args.insert(args.end(), {"-v", "-b", std::to_string(settings.vbrMinBitRate), "-B",
                                 std::to_string(settings.vbrMaxBitRate), "-V",
                                 std::to_string(settings.vbrQuality)});
    }
    char rate[16];
    std::snprintf(rate, sizeof rate, "%d.%.3d", sampleRate / 1000, sampleRate % 1000);
    args.insert(args.end(), {"-r", "-x", "-s", rate, "-S", "-", outputPath});
    return args;
}

Mp3Writer::Mp3Writer(std::string outputPath, const std::vector<std::string>& arguments,
                     int sampleRate, int channels, int finishWaitMs)
    : AudioSink(sampleRate, channels),
      m_outputPath(std::move(outputPath)),
      m_encoder(std::make_unique<ChildProcess>()),
      m_buffer(static_cast<std::size_t>(kMaxBlockFrames) * channels * 2),
      m_finishWaitMs(finishWaitMs) {
    SpawnOptions options;
    options.argv = arguments;
    options.pipeStdin = true;
    if (!m_encoder->start(options)) {
        m_error = m_encoder->errorText();
        m_failed.store(true, std::memory_order_release);
        markUnusable();
    }
}

Mp3Writer::~Mp3Writer() {
    if (!m_encoder->running()) {
        removeIfEmpty(m_outputPath);
        return;
    }
    m_encoder->closeInput();
    if (m_encoder->wait(m_finishWaitMs).has_value()) {
        removeIfEmpty(m_outputPath);
        return;
    }
    // Still finishing the file: let it, and reap it when it ends.
    std::thread([encoder = std::move(m_encoder), path = std::move(m_outputPath)] {
        encoder->wait(-1);
        removeIfEmpty(path);
    }).detach();
}

void Mp3Writer::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    while (frames > 0 && !m_failed.load(std::memory_order_relaxed)) {
        const int chunk = std::min(frames, kMaxBlockFrames);
        const std::size_t count = static_cast<std::size_t>(chunk) * channels();
        // The encoder is told "-x" (swap bytes) on raw input that it otherwise reads
        // little-endian, so it expects big-endian samples.
        for (std::size_t i = 0; i < count; ++i) {
            PutBe16(&m_buffer[2 * i], static_cast<std::uint16_t>(ToPcm16(samples[i])));
        }
        const std::string_view bytes(reinterpret_cast<const char*>(m_buffer.data()), 2 * count);
        if (!m_encoder->writeInput(bytes)) {
            m_error = "The MP3 encoder stopped: " + m_encoder->errorText();
            m_failed.store(true, std::memory_order_release);
        }
        samples += count;
        frames -= chunk;
    }
}

std::string Mp3Writer::WriteError() const {
    return m_failed.load(std::memory_order_acquire) ? m_error : std::string();
}

SinkRef CreateMp3Writer(const std::string& encoderPath, const std::string& path,
                        const Mp3Settings& settings, int inputRate, int inputChannels) {
    if (encoderPath.empty() || !canCreate(path)) {
        return SinkRef();
    }
    const int rate = ChooseMp3SampleRate(inputRate, settings);
    const int channels = ChooseMp3Channels(inputChannels, settings);
    return MakeSink<Mp3Writer>(
        path, BuildMp3EncoderArguments(encoderPath, settings, rate, channels, path), rate,
        channels);
}

}  // namespace sonaro
