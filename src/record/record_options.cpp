#include "record/record_options.h"

#include <algorithm>

namespace sonaro {
namespace {

constexpr std::string_view kSection = "Settings";
constexpr std::string_view kInvalidTimeTitle = "Invalid time";

}  // namespace

MaxTimeOptions LoadMaxTimeOptions(const SettingsStore& settings) {
    MaxTimeOptions options;
    options.limit = settings.ReadSettingBool(kSection, "CheckMaxTime", false);
    options.hours =
        static_cast<int>(std::clamp(settings.ReadSettingInt(kSection, "MaxTimeHours", 0), 0L, 2L));
    options.minutes = static_cast<int>(
        std::clamp(settings.ReadSettingInt(kSection, "MaxTimeMinutes", 0), 0L, 59L));
    options.seconds = static_cast<int>(
        std::clamp(settings.ReadSettingInt(kSection, "MaxTimeSeconds", 0), 0L, 59L));
    options.stopAtMax = settings.ReadSettingBool(kSection, "StopReachMaxTime", true);
    return options;
}

RecordLevelOptions LoadRecordLevelOptions(const SettingsStore& settings) {
    RecordLevelOptions options;
    options.recordVolume = static_cast<int>(settings.ReadSettingInt(kSection, "RecordVolume", 0));
    options.voiceActivate = settings.ReadSettingBool(kSection, "VoiceActivate", false);
    options.voiceActivateLevel = static_cast<int>(
        std::clamp(settings.ReadSettingInt(kSection, "VoiceActivateLevel", -18), -127L, 127L));
    options.launchPlayWhenStop = settings.ReadSettingBool(kSection, "LaunchPlayWhenStop", false);
    return options;
}

std::optional<FieldComplaint> SaveMaxTimeOptions(SettingsStore& settings,
                                                 const MaxTimeOptions& options) {
    settings.WriteSettingBool(kSection, "CheckMaxTime", options.limit);
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
    settings.WriteSettingBool(kSection, "StopReachMaxTime", options.stopAtMax);
    settings.WriteSettingInt(kSection, "MaxTimeHours", options.hours);
    settings.WriteSettingInt(kSection, "MaxTimeMinutes", options.minutes);
    settings.WriteSettingInt(kSection, "MaxTimeSeconds", options.seconds);
    return std::nullopt;
}

void SaveRecordLevelOptions(SettingsStore& settings, const RecordLevelOptions& options) {
    settings.WriteSettingInt(kSection, "RecordVolume", options.recordVolume);
    settings.WriteSettingBool(kSection, "VoiceActivate", options.voiceActivate);
    settings.WriteSettingInt(kSection, "VoiceActivateLevel",
                             std::clamp(options.voiceActivateLevel, -127, 127));
    settings.WriteSettingBool(kSection, "LaunchPlayWhenStop", options.launchPlayWhenStop);
}

}  // namespace sonaro
