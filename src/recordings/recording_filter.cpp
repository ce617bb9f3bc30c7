#include "recordings/recording_filter.h"

#include <algorithm>
#include <tuple>

namespace sonaro {

RecordingFilter NormalizeRecordingFilter(RecordingFilter filter) {
    filter.hours = std::clamp(filter.hours, 0, RecordingFilter::kMaxHours);
    filter.minutes = std::clamp(filter.minutes, 0, RecordingFilter::kMaxMinutes);
    filter.seconds = std::clamp(filter.seconds, 0, RecordingFilter::kMaxSeconds);
    if (filter.hours == 0 && filter.minutes == 0 && filter.seconds == 0) {
        filter.durationMode = DurationMode::Any;
    }
    return filter;
}

bool PassesDuration(const RecordingFilter& filter, std::int64_t lengthMs) {
    const std::int64_t seconds = lengthMs / 1000;
    switch (filter.durationMode) {
        case DurationMode::AtMost:
            return seconds <= filter.durationLimit();
        case DurationMode::AtLeast:
            return seconds >= filter.durationLimit();
        case DurationMode::Any:
            break;
    }
    return true;
}

bool PassesPeriod(const RecordingFilter& filter, std::time_t created) {
    if (!filter.periodOn) {
        return true;
    }
    // Comparing local calendar days keeps both ends whole even on a day that daylight saving
    // time makes 23 or 25 hours long.
    std::tm local{};
    if (localtime_r(&created, &local) == nullptr) {
        return false;
    }
    const auto day = std::make_tuple(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const auto from = std::make_tuple(filter.from.year, filter.from.month, filter.from.day);
    const auto to = std::make_tuple(filter.to.year, filter.to.month, filter.to.day);
    return from <= day && day <= to;
}

bool PassesText(const RecordingFilter& filter, const RecordingItem& item) {
    const int column = static_cast<int>(filter.textColumn);
    if (!filter.textOn || filter.text.empty() || column < 0 ||
        column >= static_cast<int>(RecordingColumn::KeywordFoundAt)) {
        return true;
    }
    return item.text(filter.textColumn).find(filter.text) != std::string::npos;
}

bool PassesFilter(const RecordingFilter& filter, const RecordingItem& item) {
    return PassesDuration(filter, item.lengthMs) && PassesPeriod(filter, item.created) &&
           PassesText(filter, item);
}

}  // namespace sonaro
