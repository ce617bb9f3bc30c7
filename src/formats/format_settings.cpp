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

constexpr const char* kDefaultFormatText = "44100 Hz, 16 bits, mono PCM";

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
    return static_cast<OutputFormat>(m_settings.Read(setting::kFormat));
}

void FormatSettings::SetOutputFormat(OutputFormat format) {
    m_settings.Write(setting::kFormat, static_cast<int>(format));
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
        case OutputFormat::Flac:
            recording.flac = LoadFlacSettings();
            break;
        case OutputFormat::Opus:
            recording.opus = LoadOpusSettings();
            break;
    }
    return recording;
}

Mp3Settings FormatSettings::LoadMp3Settings() const {
    Mp3Settings mp3;
    mp3.constantBitRate = m_settings.Read(setting::kMp3ConstantBitRate);
    mp3.cbrBitRate = static_cast<std::uint16_t>(m_settings.Read(setting::kMp3CbrBitRate));
    mp3.highQuality = m_settings.Read(setting::kMp3HighQuality);
    mp3.vbrMinBitRate = static_cast<std::uint16_t>(m_settings.Read(setting::kMp3VbrMinBitRate));
    mp3.vbrMaxBitRate = static_cast<std::uint16_t>(m_settings.Read(setting::kMp3VbrMaxBitRate));
    mp3.vbrQuality = static_cast<std::uint8_t>(m_settings.Read(setting::kMp3VbrQuality));
    mp3.errorProtection = m_settings.Read(setting::kMp3ErrorProtection);
    mp3.channelMode = static_cast<std::uint8_t>(m_settings.Read(setting::kMp3ChannelMode));
    if (mp3.vbrMaxBitRate > 160 && mp3.vbrMinBitRate < 32) {
        mp3.vbrMinBitRate = 32;
    }
    return mp3;
}

void FormatSettings::SaveMp3Settings(const Mp3Settings& mp3) {
    m_settings.Write(setting::kMp3ConstantBitRate, mp3.constantBitRate);
    m_settings.Write(setting::kMp3CbrBitRate, mp3.cbrBitRate);
    m_settings.Write(setting::kMp3HighQuality, mp3.highQuality);
    m_settings.Write(setting::kMp3VbrMinBitRate, mp3.vbrMinBitRate);
    m_settings.Write(setting::kMp3VbrMaxBitRate, mp3.vbrMaxBitRate);
    m_settings.Write(setting::kMp3VbrQuality, mp3.vbrQuality);
    m_settings.Write(setting::kMp3ErrorProtection, mp3.errorProtection);
    m_settings.Write(setting::kMp3ChannelMode, mp3.channelMode);
}

AiffSettings FormatSettings::LoadAiffSettings() const {
    AiffSettings aiff;
    aiff.channels = static_cast<std::uint8_t>(m_settings.Read(setting::kAiffChannels));
    aiff.sampleRate = m_settings.Read(setting::kAiffSampleRate);
    aiff.sampleSize = m_settings.Read(setting::kAiffSampleSize);
    return aiff;
}

void FormatSettings::SaveAiffSettings(const AiffSettings& aiff) {
    m_settings.Write(setting::kAiffChannels, aiff.channels);
    m_settings.Write(setting::kAiffSampleRate, aiff.sampleRate);
    m_settings.Write(setting::kAiffSampleSize, aiff.sampleSize);
}

FlacSettings FormatSettings::LoadFlacSettings() const {
    FlacSettings flac;
    flac.compressionLevel = m_settings.Read(setting::kFlacLevel);
    flac.bitsPerSample = m_settings.Read(setting::kFlacBits) > 16 ? 24 : 16;
    flac.sampleRate = m_settings.Read(setting::kFlacSampleRate);
    flac.channels = m_settings.Read(setting::kFlacChannels);
    return flac;
}

void FormatSettings::SaveFlacSettings(const FlacSettings& flac) {
    m_settings.Write(setting::kFlacLevel, flac.compressionLevel);
    m_settings.Write(setting::kFlacBits, flac.bitsPerSample);
    m_settings.Write(setting::kFlacSampleRate, flac.sampleRate);
    m_settings.Write(setting::kFlacChannels, flac.channels);
}

OpusSettings FormatSettings::LoadOpusSettings() const {
    OpusSettings opus;
    opus.bitRate = m_settings.Read(setting::kOpusBitRate);
    opus.voice = m_settings.Read(setting::kOpusApplication) == 0;
    opus.complexity = m_settings.Read(setting::kOpusComplexity);
    opus.channels = m_settings.Read(setting::kOpusChannels);
    return opus;
}

void FormatSettings::SaveOpusSettings(const OpusSettings& opus) {
    m_settings.Write(setting::kOpusBitRate, opus.bitRate);
    m_settings.Write(setting::kOpusApplication, opus.voice ? 0 : 1);
    m_settings.Write(setting::kOpusComplexity, opus.complexity);
    m_settings.Write(setting::kOpusChannels, opus.channels);
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
        case OutputFormat::Flac: {
            const FlacSettings flac = UsableFlacSettings(LoadFlacSettings());
            std::snprintf(label, sizeof label, "%iHz %s %s", static_cast<int>(flac.sampleRate),
                          stereoName(static_cast<unsigned>(flac.channels)),
                          kFormatExtensions[3].name.data());
            break;
        }
        case OutputFormat::Opus: {
            const OpusSettings opus = LoadOpusSettings();
            std::snprintf(label, sizeof label, "%iKbps %s %s", opus.bitRate,
                          stereoName(static_cast<unsigned>(opus.channels)),
                          kFormatExtensions[4].name.data());
            break;
        }
    }
    return label;
}

}  // namespace sonaro
