#include "record/record_options.h"

#include <gtest/gtest.h>

#include "support/settings_home.h"

namespace sonaro {
namespace {

class RecordOptionsTest : public test::SettingsTest {
  protected:
};

TEST_F(RecordOptionsTest, MaximumTimeBordersAndUncheckingKeepsTheStoredTime) {
    MaxTimeOptions options{true, 0, 0, 0, false};
    auto refused = SaveMaxTimeOptions(m_settings, options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->field, static_cast<int>(MaxTimeField::Seconds));
    EXPECT_EQ(refused->text, "Maximum recording time must be one or more seconds.");
    EXPECT_EQ(refused->title, "Invalid time");

    options = {true, 2, 0, 1, false};
    refused = SaveMaxTimeOptions(m_settings, options);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->field, static_cast<int>(MaxTimeField::Hours));
    EXPECT_EQ(refused->text, "Maximum recording time must be two hours or less.");

    options = {true, 2, 0, 0, false};
    EXPECT_FALSE(SaveMaxTimeOptions(m_settings, options));
    EXPECT_EQ(LoadMaxTimeOptions(m_settings), options);

    EXPECT_FALSE(SaveMaxTimeOptions(m_settings, {false, 0, 5, 0, true}));
    const MaxTimeOptions loaded = LoadMaxTimeOptions(m_settings);
    EXPECT_FALSE(loaded.limit);
    EXPECT_EQ(loaded.hours, 2);
    EXPECT_EQ(loaded.minutes, 0);
    EXPECT_FALSE(loaded.stopAtMax);
}

TEST_F(RecordOptionsTest, LevelsRoundTripWithTheVoiceValuesClampedToThePageLimits) {
    EXPECT_EQ(LoadRecordLevelOptions(m_settings), RecordLevelOptions{});
    SaveRecordLevelOptions(m_settings, RecordLevelOptions{});
    EXPECT_FALSE(m_settings.ReadIfStored(setting::kVoiceHangMs).has_value())
        << "an untouched hang time keeps following the default";
    SaveRecordLevelOptions(m_settings, {-6, true, -300, true, 20, 100000});
    EXPECT_EQ(LoadRecordLevelOptions(m_settings),
              (RecordLevelOptions{-6, true, -127, true, kMinPreRollMs, kMaxHangMs}));
    SaveRecordLevelOptions(m_settings, {-6, true, 0, true, 0, 100});
    EXPECT_EQ(LoadRecordLevelOptions(m_settings),
              (RecordLevelOptions{-6, true, 0, true, 0, kMinHangMs}));
}

}  // namespace
}  // namespace sonaro
