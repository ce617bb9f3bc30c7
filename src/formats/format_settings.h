#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/wave_format.h"
#include "settings/settings_store.h"

namespace sonaro {

// Value "Format" of section "Settings".
enum class OutputFormat : int { Wav = 0, Mp3 = 1, Aiff = 2, Flac = 3, Opus = 4 };

struct FormatExtension {
    std::string_view extension;
    std::string_view name;  // used in labels
};

// Indexed by OutputFormat. File naming takes the extension from here.
inline constexpr std::array<FormatExtension, 5> kFormatExtensions = {{
    {".wav", "Wav"},
    {".mp3", "Mp3"},
    {".aif", "Aiff"},
    {".flac", "Flac"},
    {".opus", "Opus"},
}};

// Section "MP3Encoder". Bit rates in kbit/s.
struct Mp3Settings {
    bool constantBitRate = true;
    std::uint16_t cbrBitRate = 128;
    bool highQuality = true;
    std::uint16_t vbrMinBitRate = 32;
    std::uint16_t vbrMaxBitRate = 128;
    std::uint8_t vbrQuality = 4;  // 0 highest to 9 lowest
    bool errorProtection = false;
    std::uint8_t channelMode = 1;  // 0 stereo, 1 joint stereo, 2 forced stereo, 3 mono

    bool operator==(const Mp3Settings&) const = default;
};

// Section "AIFFEncode".
struct AiffSettings {
    std::uint8_t channels = 2;
    std::int32_t sampleRate = 44100;
    std::int32_t sampleSize = 16;  // bits per sample

    bool operator==(const AiffSettings&) const = default;
};

// Section "FLACEncode".
struct FlacSettings {
    int compressionLevel = 5;  // 0 fastest to 8 smallest
    int bitsPerSample = 16;    // 16 or 24
    std::int32_t sampleRate = 44100;
    int channels = 2;

    bool operator==(const FlacSettings&) const = default;
};

// Section "OpusEncode". Opus always codes 48000 Hz.
struct OpusSettings {
    static constexpr int kSampleRate = 48000;
    int bitRate = 64;     // kbit/s, 6 to 510
    bool voice = false;   // application: voice (VoIP) or general audio
    int complexity = 10;  // 0 to 10
    int channels = 2;

    bool operator==(const OpusSettings&) const = default;
};

// What a writer records in, read from the settings when a recording's file is created. The file
// keeps this format until it is completed, whatever the settings say meanwhile.
struct RecordingFormat {
    OutputFormat format = OutputFormat::Wav;
    WaveFormat wav;
    Mp3Settings mp3;
    AiffSettings aiff;
    FlacSettings flac;
    OpusSettings opus;

    bool operator==(const RecordingFormat&) const = default;
};

// The stored settings of the output formats. The WAV format lives in a file of the
// per-user data folder, the others in the settings store. Called on the user-interface thread.
class FormatSettings {
  public:
    static constexpr std::string_view kWavFormatFileName = "WavCodec.wff";

    FormatSettings(SettingsStore& settings, std::string dataDir);

    // A stored value outside 0..4 reads as WAV.
    OutputFormat GetOutputFormat() const;
    void SetOutputFormat(OutputFormat format);

    // The default PCM format (44100 Hz, 16 bits, mono) when the file is missing or short, or is
    // no regular file or cannot be read; the last two are said once on standard error.
    WaveFormat LoadWavFormat() const;
    // Replaces the file as a whole (the data folder is created when missing). False when not all
    // bytes reached the disk; the previous file is then left as it was.
    bool SaveWavFormat(const WaveFormat& format);

    // Raises the minimum VBR rate to 32 when the maximum is above 160 and the minimum below 32.
    Mp3Settings LoadMp3Settings() const;
    void SaveMp3Settings(const Mp3Settings& mp3);
    AiffSettings LoadAiffSettings() const;
    void SaveAiffSettings(const AiffSettings& aiff);
    FlacSettings LoadFlacSettings() const;
    void SaveFlacSettings(const FlacSettings& flac);
    OpusSettings LoadOpusSettings() const;
    void SaveOpusSettings(const OpusSettings& opus);

    // The current output format with the settings of its kind.
    RecordingFormat LoadRecordingFormat() const;

    // One line describing the current format: "44100Hz Mono Wav", "128KBps Joint Mp3",
    // "32-128Kbps Joint Mp3", "Stereo 44100 AIFF", "44100Hz Stereo Flac", "64Kbps Stereo Opus".
    std::string FormatLabel() const;

    std::string wavFormatPath() const;

  private:
    SettingsStore& m_settings;
    std::string m_dataDir;
    mutable bool m_reportedUnreadableFile = false;
};

// "Stereo", "Joint", "Force", "Mono"; the joint-stereo name for a value outside 0..3.
std::string_view Mp3ChannelModeName(std::uint8_t mode);

}  // namespace sonaro
