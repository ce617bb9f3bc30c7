#include "app/general_options.h"

#include <algorithm>
#include <climits>

namespace sonaro {
namespace {

int fieldNumber(std::string_view text) {
    return static_cast<int>(std::clamp(ParseSettingNumber(text), long{INT_MIN}, long{INT_MAX}));
}

}  // namespace

GeneralOptions LoadGeneralOptions(const SettingsStore& settings, const LogonStart& logonStart) {
    GeneralOptions options;
    options.recordTone = settings.Read(setting::kRecordTone);
    options.stoppedTone = settings.Read(setting::kStoppedTone);
    options.intervalTone = settings.Read(setting::kIntervalTone);
    options.intervalSecs = std::to_string(settings.Read(setting::kIntervalSecs));
    options.recordWhenRun = settings.Read(setting::kRecordWhenRun);
    options.runAtLogon = logonStart.IsEnabled();
    options.warnSpaceBelow = std::to_string(settings.Read(setting::kWarnSpaceBelow));
    return options;
}

std::optional<FieldComplaint> SaveGeneralOptions(SettingsStore& settings, LogonStart& logonStart,
                                                 const GeneralOptions& options,
                                                 bool toneGroupChanged, bool spaceGroupChanged) {
    if (toneGroupChanged) {
        settings.Write(setting::kRecordTone, options.recordTone);
        settings.Write(setting::kStoppedTone, options.stoppedTone);
        settings.Write(setting::kIntervalTone, options.intervalTone);
        if (options.intervalTone && options.intervalSecs.empty()) {
            return Balloon(GeneralField::IntervalSecs, "Please enter a valid interval (in secs).",
                           "Invalid Interval");
        }
        // A zero interval would play tones back to back and hold up the window.
        if (options.intervalTone && fieldNumber(options.intervalSecs) < 1) {
            return Balloon(GeneralField::IntervalSecs, "Interval must be one or more seconds.",
                           "Invalid Interval");
        }
        settings.Write(setting::kIntervalSecs, fieldNumber(options.intervalSecs));
        settings.Write(setting::kRecordWhenRun, options.recordWhenRun);
        if (logonStart.IsEnabled() != options.runAtLogon &&
            !logonStart.SetEnabled(options.runAtLogon)) {
            return FieldComplaint{static_cast<int>(GeneralField::RunAtLogon),
                                  "To activate this feature Administrator Access is required. "
                                  "Please login or run as Administrator and try again.",
                                  "Access Error", PromptIcon::Error};
        }
    }
    if (spaceGroupChanged) {
        settings.Write(setting::kWarnSpaceBelow, fieldNumber(options.warnSpaceBelow));
    }
    return std::nullopt;
}

}  // namespace sonaro
