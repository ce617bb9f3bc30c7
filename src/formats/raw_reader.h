#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "audio/audio_source.h"
#include "support/field_complaint.h"

namespace sonaro {

class SettingsStore;

// How a headerless file is read: the values of the "VoxAudio" or "RawAudio" settings.
enum class RawCodec {
    DialogicAdpcm = 0,
    MuLaw = 1,
    ALaw = 2,
    Pcm16Le = 3,
    Unsigned8 = 4,
    Signed8 = 5,
    Pcm16Be = 6,
    Float32Le = 7,
    Float32Be = 8,
};

struct RawFormat {
    int sampleRate = 44100;
    int channels = 1;
    int codec = static_cast<int>(RawCodec::Pcm16Le);
};

// The stored format for ".vox" files (`vox`) or for the other raw extensions; 0 channels read
// as 1.
RawFormat LoadRawFormat(const SettingsStore& settings, bool vox);
void SaveRawFormat(SettingsStore& settings, bool vox, const RawFormat& format);

// The raw-format dialog's codec list, in the order of RawCodec.
inline constexpr std::array<std::string_view, 9> kRawCodecNames = {"Dialogic ADPCM",
                                                                   "G711 uLaw",
                                                                   "G711 aLaw",
                                                                   "16 bit PCM (Intel Endian)",
                                                                   "8 bit unsigned",
                                                                   "8 bit signed",
                                                                   "16 bit PCM (Big Endian)",
                                                                   "32 bit float (Intel Endian)",
                                                                   "32 bit float (Big Endian)"};
inline constexpr int kMinRawSampleRate = 6000;
inline constexpr int kMaxRawSampleRate = 196000;

enum class RawField : int { SampleRate = 0 };

// OK in the raw-format dialog: a rate outside 6000 to 196000 is refused with a balloon at the
// rate list.
std::optional<FieldComplaint> CheckRawFormat(const RawFormat& format);

// Reads the whole file as samples of `format`. A rate of 0 or less or a channel count outside 1
// to 255 is Corrupt, an unknown codec NotSupported.
SourceRef OpenRawFile(const std::string& path, const RawFormat& format);

// A ".gsm" file: plain GSM 06.10 frames of 33 bytes, 160 samples each, 8000 Hz mono.
SourceRef OpenGsmFile(const std::string& path);

}  // namespace sonaro
