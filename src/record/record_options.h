#pragma once

#include <optional>

#include "settings/settings_store.h"
#include "support/field_complaint.h"

namespace sonaro {

// The "Maximum Recording Time" group of the Record page.
struct MaxTimeOptions {
    bool limit = false;     // "CheckMaxTime"
    int hours = 0;          // "MaxTimeHours", 0 to 2
    int minutes = 0;        // "MaxTimeMinutes", 0 to 59
    int seconds = 0;        // "MaxTimeSeconds", 0 to 59
    bool stopAtMax = true;  // "StopReachMaxTime": stop, or start a new recording

    bool operator==(const MaxTimeOptions&) const = default;
};

// The device-and-levels group of the Record page, without the input selection.
struct RecordLevelOptions {
    int recordVolume = 0;  // "RecordVolume", dB
    bool voiceActivate = false;
    int voiceActivateLevel = -18;  // dB, clamped to [-127, 127]
    bool launchPlayWhenStop = false;
    int voicePreRollMs = 0;  // "VoicePreRollMs": 0 (off) or kMinPreRollMs..kMaxPreRollMs
    int voiceHangMs = 5000;  // "VoiceHangMs": kMinHangMs..kMaxHangMs

    bool operator==(const RecordLevelOptions&) const = default;
};

enum class MaxTimeField : int { Hours = 0, Seconds = 1 };

inline constexpr int kMaxRecordingSeconds = 7200;
// The Record page's limits for the voice gate's pre-roll and hang time, and the pre-roll it
// suggests.
inline constexpr int kMinPreRollMs = 100;
inline constexpr int kMaxPreRollMs = 1000;
inline constexpr int kSuggestedPreRollMs = 300;
inline constexpr int kMinHangMs = 500;
inline constexpr int kMaxHangMs = 60000;

MaxTimeOptions LoadMaxTimeOptions(const SettingsStore& settings);
RecordLevelOptions LoadRecordLevelOptions(const SettingsStore& settings);

// Writes "CheckMaxTime"; when the limit is on, checks the total (1 s to 2 h) and writes the rest.
// A refused total leaves the stored time as it was; the complaint names a MaxTimeField.
std::optional<FieldComplaint> SaveMaxTimeOptions(SettingsStore& settings,
                                                 const MaxTimeOptions& options);
void SaveRecordLevelOptions(SettingsStore& settings, const RecordLevelOptions& options);

}  // namespace sonaro
