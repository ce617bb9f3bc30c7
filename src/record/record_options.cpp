#include "record/record_options.h"

#include <algorithm>

namespace sonaro {
namespace {

constexpr std::string_view kInvalidTimeTitle = "Invalid time";

}  // namespace

MaxTimeOptions LoadMaxTimeOptions(const SettingsStore& settings) {
    MaxTimeOptions options;
    options.limit = settings.Read(setting::kCheckMaxTime);
    options.hours = settings.Read(setting::kMaxTimeHours);
    options.minutes = settings.Read(setting::kMaxTimeMinutes);
    options.seconds = settings.Read(setting::kMaxTimeSeconds);
    options.stopAtMax = settings.Read(setting::kStopReachMaxTime);
    return options;
}

RecordLevelOptions LoadRecordLevelOptions(const SettingsStore& settings) {
    RecordLevelOptions options;
    options.recordVolume = settings.Read(setting::kRecordVolume);
    options.voiceActivate = settings.Read(setting::kVoiceActivate);
    options.voiceActivateLevel = settings.Read(setting::kVoiceActivateLevel);
    options.launchPlayWhenStop = settings.Read(setting::kLaunchPlayWhenStop);
    options.voicePreRollMs = settings.Read(setting::kVoicePreRollMs);
    options.voiceHangMs = settings.Read(setting::kVoiceHangMs);
    return options;
}

std::optional<FieldComplaint> SaveMaxTimeOptions(SettingsStore& settings,
                                                 const MaxTimeOptions& options) {
    settings.Write(setting::kCheckMaxTime, options.limit);
    if (!options.limit) {
        return std::nullopt;
    }
    const long total = options.hours * 3600L + options.minutes * 60L + options.seconds;
    if (total < 1) {
        return Balloon(MaxTimeField::Seconds, "Maximum recording time must be one or more seconds.",
                       kInvalidTimeTitle);
    }
    if (total > kMaxRecordingSeconds) {
        return Balloon(MaxTimeField::Hours, "Maximum recording time must be two hours or less.",
                       kInvalidTimeTitle);
    }
    settings.Write(setting::kStopReachMaxTime, options.stopAtMax);
    settings.Write(setting::kMaxTimeHours, options.hours);
    settings.Write(setting::kMaxTimeMinutes, options.minutes);
    settings.Write(setting::kMaxTimeSeconds, options.seconds);
    return std::nullopt;
}

void SaveRecordLevelOptions(SettingsStore& settings, const RecordLevelOptions& options) {
    settings.Write(setting::kRecordVolume, options.recordVolume);
    settings.Write(setting::kVoiceActivate, options.voiceActivate);
    settings.Write(setting::kVoiceActivateLevel, options.voiceActivateLevel);
    settings.Write(setting::kLaunchPlayWhenStop, options.launchPlayWhenStop);
    // Untouched values stay unwritten, so that a later default still reaches them.
    if (options.voicePreRollMs != settings.Read(setting::kVoicePreRollMs)) {
        settings.Write(setting::kVoicePreRollMs,
                       options.voicePreRollMs <= 0
                           ? 0
                           : std::clamp(options.voicePreRollMs, kMinPreRollMs, kMaxPreRollMs));
    }
    if (options.voiceHangMs != settings.Read(setting::kVoiceHangMs)) {
        settings.Write(setting::kVoiceHangMs,
                       std::clamp(options.voiceHangMs, kMinHangMs, kMaxHangMs));
    }
}

}  // namespace sonaro
