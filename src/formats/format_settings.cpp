#include "formats/format_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "formats/output_writer.h"
#include "support/open_file_with_retry.h"

namespace sonaro {
namespace {

constexpr std::string_view kSettingsSection = "Settings";
constexpr std::string_view kMp3Section = "MP3Encoder";
constexpr std::string_view kAiffSection = "AIFFEncode";
constexpr const char* kDefaultFormatText = "44100 Hz, 16 bits, mono PCM";

template <typename T>
T clampTo(long value) {
    return static_cast<T>(
        std::clamp<long>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// Writes all of `bytes` to a new file beside `path` and renames it over `path`, so a failure at
// any point leaves the old file untouched.
bool replaceFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    const bool complete = written == bytes.size() && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!complete || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

// Reads until `bytes` is full or the file ends; the count read.
std::size_t readUpTo(int fd, std::span<std::uint8_t> bytes) {
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

}  // namespace

FormatSettings::FormatSettings(SettingsStore& settings, std::string dataDir)
    : m_settings(settings), m_dataDir(std::move(dataDir)) {}

OutputFormat FormatSettings::GetOutputFormat() const {
    const long value = m_settings.ReadSettingInt(kSettingsSection, "Format", 0);
    return value >= 0 && value <= 2 ? static_cast<OutputFormat>(value) : OutputFormat::Wav;
}

void FormatSettings::SetOutputFormat(OutputFormat format) {
    m_settings.WriteSettingInt(kSettingsSection, "Format", static_cast<int>(format));
}

std::string FormatSettings::wavFormatPath() const {
    return m_dataDir + "/" + std::string(kWavFormatFileName);
}

WaveFormat FormatSettings::LoadWavFormat() const {
    std::array<std::uint8_t, kWaveFormatFileBytes> bytes{};
    std::size_t got = 0;
    const std::string path = wavFormatPath();
    // Only a regular file is read: a FIFO or a device put in its place must not stop the start.
    const FileHandle file = OpenFileWithRetry(path, FileAccess::Read, FileShare::Read,
                                              FileDisposition::OpenExisting, 0);
    if (file.valid()) {
        got = readUpTo(file.fd(), bytes);
    } else if (file.error() != ENOENT && !m_reportedUnreadableFile) {
        m_reportedUnreadableFile = true;
        std::fprintf(stderr, "Sonaro: cannot read the WAV format from %s (%s); using %s\n",
                     path.c_str(), std::strerror(file.error()), kDefaultFormatText);
    }
    const auto format = DecodeWaveFormatFile(std::span(bytes.data(), got));
    return format ? *format : WaveFormat{};
}

bool FormatSettings::SaveWavFormat(const WaveFormat& format) {
    std::error_code ignored;
    std::filesystem::create_directories(m_dataDir, ignored);
    const auto bytes = EncodeWaveFormatFile(format);
    return replaceFile(wavFormatPath(), bytes);
}

RecordingFormat FormatSettings::LoadRecordingFormat() const {
    RecordingFormat recording;
    recording.format = GetOutputFormat();
    switch (recording.format) {
        case OutputFormat::Wav:
            recording.wav = LoadWavFormat();
            break;
        case OutputFormat::Mp3:
            recording.mp3 = LoadMp3Settings();
            break;
        case OutputFormat::Aiff:
            recording.aiff = LoadAiffSettings();
            break;
    }
    return recording;
}

Mp3Settings FormatSettings::LoadMp3Settings() const {
    const Mp3Settings defaults;
    const auto number = [&](std::string_view name, long fallback) {
        return m_settings.ReadSettingInt(kMp3Section, name, fallback);
    };
    Mp3Settings mp3;
    mp3.constantBitRate = m_settings.ReadSettingBool(kMp3Section, "ConstantBitRate", true);
    mp3.cbrBitRate = clampTo<std::uint16_t>(number("CBRBitRate", defaults.cbrBitRate));
    mp3.highQuality = m_settings.ReadSettingBool(kMp3Section, "HighQuality", true);
    mp3.vbrMinBitRate = clampTo<std::uint16_t>(number("VBRMinBitRate", defaults.vbrMinBitRate));
    mp3.vbrMaxBitRate = clampTo<std::uint16_t>(number("VBRMaxBitRate", defaults.vbrMaxBitRate));
    mp3.vbrQuality = clampTo<std::uint8_t>(number("VBRQuality", defaults.vbrQuality));
    mp3.errorProtection = m_settings.ReadSettingBool(kMp3Section, "ErrorProtection", false);
    mp3.channelMode = clampTo<std::uint8_t>(number("ChannelMode", defaults.channelMode));
    if (mp3.vbrMaxBitRate > 160 && mp3.vbrMinBitRate < 32) {
        mp3.vbrMinBitRate = 32;
    }
    return mp3;
}

void FormatSettings::SaveMp3Settings(const Mp3Settings& mp3) {
    m_settings.WriteSettingBool(kMp3Section, "ConstantBitRate", mp3.constantBitRate);
    m_settings.WriteSettingInt(kMp3Section, "CBRBitRate", mp3.cbrBitRate);
    m_settings.WriteSettingBool(kMp3Section, "HighQuality", mp3.highQuality);
    m_settings.WriteSettingInt(kMp3Section, "VBRMinBitRate", mp3.vbrMinBitRate);
    m_settings.WriteSettingInt(kMp3Section, "VBRMaxBitRate", mp3.vbrMaxBitRate);
    m_settings.WriteSettingInt(kMp3Section, "VBRQuality", mp3.vbrQuality);
    m_settings.WriteSettingBool(kMp3Section, "ErrorProtection", mp3.errorProtection);
    m_settings.WriteSettingInt(kMp3Section, "ChannelMode", mp3.channelMode);
}

AiffSettings FormatSettings::LoadAiffSettings() const {
    const AiffSettings defaults;
    AiffSettings aiff;
    aiff.channels = clampTo<std::uint8_t>(
        m_settings.ReadSettingInt(kAiffSection, "Channels", defaults.channels));
    aiff.sampleRate = clampTo<std::int32_t>(
        m_settings.ReadSettingInt(kAiffSection, "SampleRate", defaults.sampleRate));
    aiff.sampleSize = clampTo<std::int32_t>(
        m_settings.ReadSettingInt(kAiffSection, "SampleSize", defaults.sampleSize));
    return aiff;
}

void FormatSettings::SaveAiffSettings(const AiffSettings& aiff) {
    m_settings.WriteSettingInt(kAiffSection, "Channels", aiff.channels);
    m_settings.WriteSettingInt(kAiffSection, "SampleRate", aiff.sampleRate);
    m_settings.WriteSettingInt(kAiffSection, "SampleSize", aiff.sampleSize);
}

std::string_view Mp3ChannelModeName(std::uint8_t mode) {
    static constexpr std::array<std::string_view, 4> kNames = {"Stereo", "Joint", "Force", "Mono"};
    return mode < kNames.size() ? kNames[mode] : kNames[1];
}

std::string FormatSettings::FormatLabel() const {
    const auto stereoName = [](unsigned channels) { return channels == 1 ? "Mono" : "Stereo"; };
    char label[128];
    switch (GetOutputFormat()) {
        case OutputFormat::Wav: {
            // What is recorded: zero fields stand for the writers' defaults.
            const WaveFormat wav = UsableWavFormat(LoadWavFormat());
            std::snprintf(label, sizeof label, "%uHz %s %s", wav.samplesPerSec,
                          stereoName(wav.channels), kFormatExtensions[0].name.data());
            break;
        }
        case OutputFormat::Mp3: {
            const Mp3Settings mp3 = LoadMp3Settings();
            const std::string mode(Mp3ChannelModeName(mp3.channelMode));
            if (mp3.constantBitRate) {
                std::snprintf(label, sizeof label, "%uKBps %s %s", unsigned{mp3.cbrBitRate},
                              mode.c_str(), kFormatExtensions[1].name.data());
            } else {
                std::snprintf(label, sizeof label, "%u-%uKbps %s %s", unsigned{mp3.vbrMinBitRate},
                              unsigned{mp3.vbrMaxBitRate}, mode.c_str(),
                              kFormatExtensions[1].name.data());
            }
            break;
        }
        case OutputFormat::Aiff: {
            const AiffSettings aiff = UsableAiffSettings(LoadAiffSettings());
            std::snprintf(label, sizeof label, "%s %i AIFF", stereoName(aiff.channels),
                          static_cast<int>(aiff.sampleRate));
            break;
        }
    }
    return label;
}

}  // namespace sonaro
