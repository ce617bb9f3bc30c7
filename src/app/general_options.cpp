#include "app/general_options.h"

#include <algorithm>
#include <climits>

namespace sonaro {
namespace {

constexpr std::string_view kSection = "Settings";

int fieldNumber(std::string_view text) {
    return static_cast<int>(std::clamp(ParseSettingNumber(text), long{INT_MIN}, long{INT_MAX}));
}

}  // namespace

GeneralOptions LoadGeneralOptions(const SettingsStore& settings, const LogonStart& logonStart) {
    GeneralOptions options;
    options.recordTone = settings.ReadSettingBool(kSection, "RecordTone", true);
    options.stoppedTone = settings.ReadSettingBool(kSection, "StoppedTone", true);
    options.intervalTone = settings.ReadSettingBool(kSection, "IntervalTone", false);
    options.intervalSecs = std::to_string(settings.ReadSettingInt(kSection, "IntervalSecs", 30));
    options.recordWhenRun = settings.ReadSettingBool(kSection, "RecordWhenRun", false);
    options.runAtLogon = logonStart.IsEnabled();
    options.warnSpaceBelow =
        std::to_string(settings.ReadSettingInt(kSection, "WarnSpaceBelow", 200));
    return options;
}

std::optional<FieldComplaint> SaveGeneralOptions(SettingsStore& settings, LogonStart& logonStart,
                                                 const GeneralOptions& options,
                                                 bool toneGroupChanged, bool spaceGroupChanged) {
    if (toneGroupChanged) {
        settings.WriteSettingBool(kSection, "RecordTone", options.recordTone);
        settings.WriteSettingBool(kSection, "StoppedTone", options.stoppedTone);
        settings.WriteSettingBool(kSection, "IntervalTone", options.intervalTone);
        if (options.intervalTone && options.intervalSecs.empty()) {
            return Balloon(GeneralField::IntervalSecs, "Please enter a valid interval (in secs).",
                           "Invalid Interval");
        }
        // A zero interval would play tones back to back and hold up the window.
        if (options.intervalTone && fieldNumber(options.intervalSecs) < 1) {
            return Balloon(GeneralField::IntervalSecs, "Interval must be one or more seconds.",
                           "Invalid Interval");
        }
        settings.WriteSettingInt(kSection, "IntervalSecs", fieldNumber(options.intervalSecs));
        settings.WriteSettingBool(kSection, "RecordWhenRun", options.recordWhenRun);
        if (logonStart.IsEnabled() != options.runAtLogon &&
            !logonStart.SetEnabled(options.runAtLogon)) {
            return FieldComplaint{static_cast<int>(GeneralField::RunAtLogon),
                                  "To activate this feature Administrator Access is required. "
                                  "Please login or run as Administrator and try again.",
                                  "Access Error", PromptIcon::Error};
        }
    }
    if (spaceGroupChanged) {
        settings.WriteSettingInt(kSection, "WarnSpaceBelow", fieldNumber(options.warnSpaceBelow));
    }
    return std::nullopt;
}

}  // namespace sonaro
