#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "recordings/recording_item.h"

namespace sonaro {

enum class DurationMode : int { Any = 0, AtMost = 1, AtLeast = 2 };

// A calendar day as the date pickers give it.
struct RecordingDay {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
};

// What the recordings list shows: read from the filter page at every scan.
struct RecordingFilter {
    static constexpr int kMaxHours = 999;
    static constexpr int kMaxMinutes = 59;
    static constexpr int kMaxSeconds = 59;

    bool periodOn = false;
    RecordingDay from;
    RecordingDay to;

    DurationMode durationMode = DurationMode::Any;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;

    bool textOn = false;
    RecordingColumn textColumn = RecordingColumn::Name;
    std::string text;  // case-sensitive

    // The limit in seconds: (h × 60 + m) × 60 + s.
    std::int64_t durationLimit() const {
        return (static_cast<std::int64_t>(hours) * 60 + minutes) * 60 + seconds;
    }
};

// Clamps the limit fields (hours 0..999, minutes and seconds 0..59) and sets the mode back to
// Any when all three are 0. The window writes the fields back from the result.
RecordingFilter NormalizeRecordingFilter(RecordingFilter filter);

// Each criterion alone, for a filter already normalised.
bool PassesDuration(const RecordingFilter& filter, std::int64_t lengthMs);
// The local day of `created` lies from `from` to `to`, both included: [from 00:00:00, to
// 23:59:59].
bool PassesPeriod(const RecordingFilter& filter, std::time_t created);
// The chosen column's text contains the text; the keyword column filters nothing.
bool PassesText(const RecordingFilter& filter, const RecordingItem& item);

bool PassesFilter(const RecordingFilter& filter, const RecordingItem& item);

}  // namespace sonaro
