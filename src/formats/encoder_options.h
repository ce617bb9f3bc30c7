#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "formats/format_settings.h"
#include "support/field_complaint.h"

namespace sonaro {

// The choices the MP3, AIFF, FLAC and Opus settings dialogs offer, and their checks.

inline constexpr std::array<std::string_view, 17> kMp3BitRates = {
    "8",  "16",  "24",  "32",  "40",  "48",  "56",  "64", "80",
    "96", "112", "128", "160", "192", "224", "256", "320"};
inline constexpr std::array<std::string_view, 10> kMp3Qualities = {
    "0 (Highest)", "1", "2", "3", "4", "5", "6", "7", "8", "9 (Lowest)"};
inline constexpr std::array<std::string_view, 4> kMp3ChannelModes = {"Stereo", "Joint", "Force",
                                                                     "Mono"};

inline constexpr std::array<std::string_view, 12> kAiffSampleRates = {
    "6000",  "8000",  "11025", "16000", "22050", "32000",
    "44100", "48000", "64000", "88200", "96000", "196000"};
inline constexpr std::array<std::string_view, 2> kAiffSampleSizes = {"8", "16"};
inline constexpr std::array<std::string_view, 2> kAiffChannels = {"Mono", "Stereo"};

inline constexpr std::array<std::string_view, 2> kFlacSampleSizes = {"16", "24"};
inline constexpr std::array<std::string_view, 9> kFlacLevels = {
    "0 (Fastest)", "1", "2", "3", "4", "5 (Default)", "6", "7", "8 (Smallest)"};
inline constexpr std::array<std::string_view, 11> kOpusBitRates = {
    "16", "24", "32", "48", "64", "80", "96", "128", "160", "192", "256"};
inline constexpr std::array<std::string_view, 2> kOpusApplications = {"Voice", "Audio"};
inline constexpr std::array<std::string_view, 11> kOpusComplexities = {
    "0 (Fastest)", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10 (Best)"};

enum class Mp3Field : int { MaxBitRate = 0 };
enum class AiffField : int { SampleRate = 0 };

// OK in the MP3 dialog with variable bit rate: a maximum above 160 with a minimum below 32 is
// refused with an error box; a maximum below the minimum with a balloon at the maximum list.
std::optional<FieldComplaint> CheckMp3Settings(const Mp3Settings& mp3);

// OK in the AIFF dialog: a typed rate outside kMinSampleRate..kMaxSampleRate is refused with a
// balloon at the rate list.
std::optional<FieldComplaint> CheckAiffSettings(const AiffSettings& aiff);

// OK in the FLAC dialog: the rate as for AIFF.
std::optional<FieldComplaint> CheckFlacSettings(const FlacSettings& flac);

// The AIFF dialog's values as shown: a stored rate or size of 0 shows the default, channels 0
// shows stereo.
AiffSettings AiffSettingsForDisplay(const AiffSettings& stored);

// A list text read as a decimal number; 0, a negative number or no number gives `fallback`.
int NumberFromListText(std::string_view text, int fallback);

}  // namespace sonaro
