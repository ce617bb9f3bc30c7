#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// The columns of the recordings list, in their order.
enum class RecordingColumn : int {
    Name = 0,
    Duration = 1,
    Format = 2,
    DateCreated = 3,
    Size = 4,
    KeywordFoundAt = 5,
};
inline constexpr int kRecordingColumnCount = 6;

// One row of the recordings list: the facts of the file and the texts its columns show.
struct RecordingItem {
    std::int64_t lengthMs = 0;
    std::time_t created = 0;
    std::uint64_t size = 0;
    // Column texts; the last one stays empty until a speech search fills it.
    std::array<std::string, kRecordingColumnCount> texts;

    const std::string& text(RecordingColumn column) const {
        return texts[static_cast<std::size_t>(column)];
    }
    // The file name before its last ".".
    const std::string& name() const { return text(RecordingColumn::Name); }
    // The extension with its dot, as found (".wav", ".MP3").
    const std::string& format() const { return text(RecordingColumn::Format); }
};

// An item with its column texts made from the facts.
RecordingItem MakeRecordingItem(std::string name, std::string format, std::int64_t lengthMs,
                                std::time_t created, std::uint64_t size);

// "h:mm:ss" of the length, seconds truncated; hours are not limited to a day.
std::string DurationText(std::int64_t lengthMs);
// "%.3f MB" of the size over 1,048,576, always with a "." whatever the process locale.
std::string SizeText(std::uint64_t bytes);
// "yyyy-mm-dd hh:mm:ss" of the time in the local time zone.
std::string DateText(std::time_t time);

// The list's comparison of two column texts: as numbers when both hold only digits and "."
// (an empty text among them), else as text without regard to ASCII case. Negative, zero or
// positive; `ascending` false negates it.
int CompareRecordingTexts(std::string_view a, std::string_view b, bool ascending);

// Orders the items by the column's texts; items that compare equal keep their order.
void SortRecordings(std::vector<RecordingItem>& items, RecordingColumn column, bool ascending);

}  // namespace sonaro
