#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/logon_start.h"
#include "settings/settings_store.h"
#include "support/field_complaint.h"

namespace sonaro {

// The General page's values.
struct GeneralOptions {
    bool recordTone = true;              // "RecordTone"
    bool stoppedTone = true;             // "StoppedTone"
    bool intervalTone = false;           // "IntervalTone"
    std::string intervalSecs = "30";     // "IntervalSecs" as typed
    bool recordWhenRun = false;          // "RecordWhenRun"
    bool runAtLogon = false;             // the logon start entry exists
    std::string warnSpaceBelow = "200";  // "WarnSpaceBelow" (MB) as typed
};

enum class GeneralField : int { IntervalSecs = 0, RunAtLogon = 1 };

GeneralOptions LoadGeneralOptions(const SettingsStore& settings, const LogonStart& logonStart);

// Group 1: tones, interval (an empty field or one below 1 with the interval on is refused),
// "RecordWhenRun" and
// the logon entry; an entry that could not be brought to the wanted state gives the "Access
// Error" complaint as a message box. Group 2: "WarnSpaceBelow". Fields read as decimal numbers (a
// non-number is 0).
std::optional<FieldComplaint> SaveGeneralOptions(SettingsStore& settings, LogonStart& logonStart,
                                                 const GeneralOptions& options,
                                                 bool toneGroupChanged, bool spaceGroupChanged);

}  // namespace sonaro
