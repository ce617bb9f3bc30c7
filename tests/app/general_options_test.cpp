#include "app/general_options.h"

#include <gtest/gtest.h>

#include "support/settings_home.h"

namespace sonaro {
namespace {

// A logon entry whose changes fail or succeed as told.
class ScriptedLogonStart final : public LogonStart {
  public:
    bool IsEnabled() const override { return enabled; }
    bool SetEnabled(bool wanted) override {
        ++changes;
        if (works) {
            enabled = wanted;
        }
        return enabled == wanted;
    }

    bool enabled = false;
    bool works = true;
    int changes = 0;
};

class GeneralOptionsTest : public test::SettingsTest {
  protected:
    ScriptedLogonStart m_logon;
};

TEST_F(GeneralOptionsTest, EmptyIntervalIsRefusedAfterTheTonesAreWritten) {
    GeneralOptions options = LoadGeneralOptions(m_settings, m_logon);
    options.recordTone = false;
    options.intervalTone = true;
    options.intervalSecs.clear();
    ASSERT_TRUE(SaveGeneralOptions(m_settings, m_logon, options, true, true));
    EXPECT_FALSE(m_settings.ReadSettingBool("Settings", "RecordTone", true));
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "WarnSpaceBelow", "unset"), "unset");

    options.intervalSecs = "12x";
    options.warnSpaceBelow = "abc";
    EXPECT_FALSE(SaveGeneralOptions(m_settings, m_logon, options, true, true));
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "IntervalSecs", 0), 12);
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "WarnSpaceBelow", 200), 0);
    EXPECT_EQ(m_logon.changes, 0);
}

TEST_F(GeneralOptionsTest, IntervalBelowOneSecondIsRefusedWhileTheToneIsOn) {
    GeneralOptions options = LoadGeneralOptions(m_settings, m_logon);
    options.intervalTone = true;
    for (const char* typed : {"0", "00", "-5"}) {
        options.intervalSecs = typed;
        const auto refused = SaveGeneralOptions(m_settings, m_logon, options, true, false);
        ASSERT_TRUE(refused) << typed;
        EXPECT_EQ(refused->field, static_cast<int>(GeneralField::IntervalSecs));
        EXPECT_EQ(refused->text, "Interval must be one or more seconds.");
        EXPECT_EQ(refused->title, "Invalid Interval");
        EXPECT_EQ(m_settings.ReadSettingInt("Settings", "IntervalSecs", 30), 30);
    }
    options.intervalSecs = "1";
    EXPECT_FALSE(SaveGeneralOptions(m_settings, m_logon, options, true, false));
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "IntervalSecs", 30), 1);
}

TEST_F(GeneralOptionsTest, LogonEntryFollowsTheBoxAndAFailureIsReported) {
    GeneralOptions options = LoadGeneralOptions(m_settings, m_logon);
    options.runAtLogon = true;
    EXPECT_FALSE(SaveGeneralOptions(m_settings, m_logon, options, true, false));
    EXPECT_TRUE(m_logon.enabled);

    m_logon.works = false;
    options.runAtLogon = false;
    const auto refused = SaveGeneralOptions(m_settings, m_logon, options, true, false);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text,
              "To activate this feature Administrator Access is required. Please login or run as "
              "Administrator and try again.");
}

}  // namespace
}  // namespace sonaro
