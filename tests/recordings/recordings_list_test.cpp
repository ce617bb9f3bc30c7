#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recordings/recording_filter.h"
#include "recordings/recording_folder.h"
#include "recordings/recording_item.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

// A time zone for the life of the object.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& zone) : m_env(std::in_place, "TZ", zone) { tzset(); }
    ~ScopedTimeZone() {
        m_env.reset();
        tzset();
    }

  private:
    std::optional<test::ScopedEnv> m_env;
};

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

TEST(RecordingItemTest, ColumnTexts) {
    EXPECT_EQ(DurationText(60999), "0:01:00") << "seconds are truncated";
    EXPECT_EQ(DurationText((125 * 3600 + 59) * 1000LL + 999), "125:00:59");
    EXPECT_EQ(SizeText(9 * 1048576 + 524288), "9.500 MB");
    {
        ScopedTimeZone utc("UTC");
        EXPECT_EQ(DateText(1236038399), "2009-03-02 23:59:59");
        EXPECT_EQ(DateText(1236038400), "2009-03-03 00:00:00");
    }
}

TEST(RecordingFilterTest, DurationLimitIsClampedAndAllZeroMeansAnyDuration) {
    RecordingFilter filter;
    filter.durationMode = DurationMode::AtMost;
    filter.hours = 1200;
    filter.minutes = 75;
    filter.seconds = -3;
    RecordingFilter normal = NormalizeRecordingFilter(filter);
    EXPECT_EQ(normal.hours, 999);
    EXPECT_EQ(normal.minutes, 59);
    EXPECT_EQ(normal.seconds, 0);
    EXPECT_EQ(normal.durationMode, DurationMode::AtMost);
    EXPECT_EQ(normal.durationLimit(), (999 * 60 + 59) * 60);

    filter.hours = filter.minutes = filter.seconds = 0;
    EXPECT_EQ(NormalizeRecordingFilter(filter).durationMode, DurationMode::Any);
}

TEST(RecordingFilterTest, PeriodHoldsBothWholeDays) {
    // Central European time: 2009-03-29 has 23 hours.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    RecordingFilter filter;
    filter.periodOn = true;
    filter.from = filter.to = {2009, 3, 1};
    EXPECT_TRUE(PassesPeriod(filter, LocalTime(2009, 3, 1, 0, 0, 0)));
    EXPECT_TRUE(PassesPeriod(filter, LocalTime(2009, 3, 1, 23, 59, 59)));
    EXPECT_FALSE(PassesPeriod(filter, LocalTime(2009, 2, 28, 23, 59, 59)));
    EXPECT_FALSE(PassesPeriod(filter, LocalTime(2009, 3, 2, 0, 0, 0)));

    filter.from = {2009, 3, 28};
    filter.to = {2009, 3, 29};
    EXPECT_TRUE(PassesPeriod(filter, LocalTime(2009, 3, 29, 23, 59, 59)));
    EXPECT_FALSE(PassesPeriod(filter, LocalTime(2009, 3, 30, 0, 0, 0)));
    EXPECT_FALSE(PassesPeriod(filter, LocalTime(2009, 3, 27, 23, 59, 59)));

    filter.periodOn = false;
    EXPECT_TRUE(PassesPeriod(filter, 0));
}

TEST(RecordingFilterTest, TextIsACaseSensitivePartOfTheChosenColumn) {
    const RecordingItem mp3 = MakeRecordingItem("talk", ".mp3", 1000, 0, 10);
    const RecordingItem upper = MakeRecordingItem("TALK", ".MP3", 1000, 0, 10);
    const RecordingItem wav = MakeRecordingItem("mp3 notes", ".wav", 1000, 0, 10);
    RecordingFilter filter;
    filter.textOn = true;
    filter.textColumn = RecordingColumn::Format;
    const auto kept = [&](const std::string& text) {
        filter.text = text;
        std::string result;
        for (const RecordingItem* item : {&mp3, &upper, &wav}) {
            result += PassesFilter(filter, *item) ? "1" : "0";
        }
        return result;
    };
    EXPECT_EQ(kept(".mp3"), "100");
    EXPECT_EQ(kept("mp3"), "100");
    EXPECT_EQ(kept(".MP3"), "010");
    EXPECT_EQ(kept(""), "111");
    filter.textColumn = RecordingColumn::Name;
    EXPECT_EQ(kept("mp3"), "001");
    filter.textColumn = RecordingColumn::KeywordFoundAt;
    EXPECT_EQ(kept("mp3"), "111");
    filter.textColumn = RecordingColumn::Format;
    filter.textOn = false;
    EXPECT_EQ(kept(".mp3"), "111");
}

TEST(RecordingSortTest, NumbersOnlyWhenBothTextsAreNumeric) {
    EXPECT_LT(CompareRecordingTexts("9.5", "10", true), 0);
    EXPECT_LT(CompareRecordingTexts("", "0.5", true), 0) << "an empty text is the number 0";
    EXPECT_EQ(CompareRecordingTexts("1.50", "1.5", true), 0);
    EXPECT_GT(CompareRecordingTexts("9.5", "10", false), 0);
    EXPECT_LT(CompareRecordingTexts("10.000 MB", "9.500 MB", true), 0) << "text: '1' < '9'";
    EXPECT_EQ(CompareRecordingTexts("Talk", "tALK", true), 0);
    EXPECT_LT(CompareRecordingTexts("abc", "ABD", true), 0);
    EXPECT_GT(CompareRecordingTexts("abc", "ABD", false), 0);
    EXPECT_LT(CompareRecordingTexts("ab", "abc", true), 0);

    std::vector<RecordingItem> items = {
        MakeRecordingItem("b", ".wav", 0, 0, 9 * 1048576 + 524288),
        MakeRecordingItem("a", ".wav", 0, 0, 10 * 1048576),
        MakeRecordingItem("C", ".wav", 0, 0, 1048576),
    };
    SortRecordings(items, RecordingColumn::Size, true);
    EXPECT_EQ(items[0].name() + items[1].name() + items[2].name(), "Cab");
    SortRecordings(items, RecordingColumn::Name, false);
    EXPECT_EQ(items[0].name() + items[1].name() + items[2].name(), "Cba");
}

TEST(RenameTest, KeepsTheFormatAndNeverReplaces) {
    const test::TempDir dir("sonaro-rename");
    const auto file = [&](const std::string& name) { return dir + "/" + name; };
    test::WriteTextFile(file("a.b.wav"), "first");
    test::WriteTextFile(file("d.wav"), "second");
    const std::vector<RecordingFile> listed = ListRecordingFiles(dir);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "a.b");
    EXPECT_EQ(listed[0].format, ".wav");

    EXPECT_EQ(RenameRecording(dir, "a.b", ".wav", "c"), RenameResult::Renamed);
    EXPECT_EQ(test::ReadTextFile(file("c.wav")), "first");
    EXPECT_FALSE(std::filesystem::exists(file("a.b.wav")));

    EXPECT_EQ(RenameRecording(dir, "c", ".wav", "d"), RenameResult::NameInUse);
    EXPECT_EQ(test::ReadTextFile(file("d.wav")), "second");
    EXPECT_EQ(test::ReadTextFile(file("c.wav")), "first");

    EXPECT_EQ(RenameRecording(dir, "c", ".wav", ""), RenameResult::InvalidName);
    EXPECT_EQ(RenameRecording(dir, "c", ".wav", "x/y"), RenameResult::InvalidName);
    EXPECT_EQ(RenameRecording(dir, "c", ".wav", std::string("x\0y", 3)), RenameResult::InvalidName);
    EXPECT_EQ(RenameRecording(dir, "gone", ".wav", "e"), RenameResult::Failed);
    EXPECT_EQ(RenameRecording(dir, "c", ".wav", "c"), RenameResult::Renamed);
    EXPECT_TRUE(std::filesystem::exists(file("c.wav")));

    EXPECT_EQ(RenameRecording(dir + "/", "c", ".wav", "f"), RenameResult::Renamed);
    EXPECT_EQ(test::ReadTextFile(file("f.wav")), "first");
}

}  // namespace
}  // namespace sonaro
