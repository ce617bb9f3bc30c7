#include "recordings/recording_item.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace sonaro {

RecordingItem MakeRecordingItem(std::string name, std::string format, std::int64_t lengthMs,
                                std::time_t created, std::uint64_t size) {
    RecordingItem item;
    item.texts[static_cast<std::size_t>(RecordingColumn::Name)] = std::move(name);
    item.texts[static_cast<std::size_t>(RecordingColumn::Duration)] = DurationText(lengthMs);
    item.texts[static_cast<std::size_t>(RecordingColumn::Format)] = std::move(format);
    item.texts[static_cast<std::size_t>(RecordingColumn::DateCreated)] = DateText(created);
    item.texts[static_cast<std::size_t>(RecordingColumn::Size)] = SizeText(size);
    item.lengthMs = lengthMs;
    item.created = created;
    item.size = size;
    return item;
}

std::string DurationText(std::int64_t lengthMs) {
    const long long seconds = std::max<std::int64_t>(lengthMs, 0) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string SizeText(std::uint64_t bytes) {
    // to_chars ignores the locale: a desktop locale with a decimal comma must not change the
    // text (nor its numeric sorting).
    char text[48];
    const auto end =
        std::to_chars(text, text + sizeof text - 3, static_cast<double>(bytes) / 1048576.0,
                      std::chars_format::fixed, 3)
            .ptr;
    return std::string(text, end) + " MB";
}

std::string DateText(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

namespace {

bool isNumericText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// The leading number of a text of digits and dots ("1.2.3" is 1.2); 0 for an empty text.
double numberOf(std::string_view text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

int asciiLower(int c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int x = asciiLower(static_cast<unsigned char>(a[i]));
        const int y = asciiLower(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

int CompareRecordingTexts(std::string_view a, std::string_view b, bool ascending) {
    int result = 0;
    if (isNumericText(a) && isNumericText(b)) {
        const double x = numberOf(a);
        const double y = numberOf(b);
        result = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        result = compareIgnoringCase(a, b);
    }
    return ascending ? result : -result;
}

void SortRecordings(std::vector<RecordingItem>& items, RecordingColumn column, bool ascending) {
    std::stable_sort(items.begin(), items.end(),
                     [column, ascending](const RecordingItem& a, const RecordingItem& b) {
                         return CompareRecordingTexts(a.text(column), b.text(column), ascending) <
                                0;
                     });
}

}  // namespace sonaro
