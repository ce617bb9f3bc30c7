#include "record/record_options.h"

#include <gtest/gtest.h>

#include "record/capture_engine.h"
#include "record/input_selection.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

using test::ScriptedInput;

// The record page's settings, over three inputs: one without a name, one with two source lines and
// one with more lines than the list takes.
class RecordOptionsTest : public test::SettingsTest {
  protected:
    RecordOptionsTest() : m_list(makeInputs(), 1) {}

    static std::vector<ScriptedInput> makeInputs() {
        std::vector<ScriptedInput> inputs(3);
        inputs[1].name = "USB Mic";
        inputs[1].sourceLines = {"Microphone", "Line In"};
        inputs[2].name = "Monitor of Speakers";
        inputs[2].sourceLines.assign(130, "Port");
        return inputs;
    }

    test::ScriptedWaveInList m_list;
};

// The borders of the maximum time are checked through the options page (ui/options_dialog_test).
TEST_F(RecordOptionsTest, UncheckingTheMaximumTimeKeepsTheStoredTime) {
    const MaxTimeOptions options{true, 2, 0, 0, false};
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
    SaveRecordLevelOptions(m_settings, {-6, true, -300, true, 20, 100000});
    EXPECT_EQ(LoadRecordLevelOptions(m_settings),
              (RecordLevelOptions{-6, true, -127, true, kMinPreRollMs, kMaxHangMs}));
    SaveRecordLevelOptions(m_settings, {-6, true, 0, true, 0, 100});
    EXPECT_EQ(LoadRecordLevelOptions(m_settings),
              (RecordLevelOptions{-6, true, 0, true, 0, kMinHangMs}));
}

TEST_F(RecordOptionsTest, SavedDeviceIsFoundAgainByName) {
    SaveInputSelection(m_settings, m_list, {3, 2});
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "RecordDevice", ""), "Monitor of Speakers");
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "RecordDeviceChannel", ""), "2");
    const InputSelection loaded = LoadInputSelection(m_settings, m_list);
    EXPECT_EQ(loaded.deviceNumber, 3);
    EXPECT_EQ(loaded.sourceNumber, 2);

    SaveInputSelection(m_settings, m_list, {0, 0});
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "RecordDevice", ""), "[Default Sound In]");
    EXPECT_EQ(LoadInputSelection(m_settings, m_list).deviceNumber, 0);
}

TEST_F(RecordOptionsTest, MissingOrDifferentlyCasedNamesSelectTheDefaultAndKeepTheSource) {
    for (const char* stored : {"Old Headset", "usb mic", ""}) {
        m_settings.WriteSettingString("Settings", "RecordDevice", stored);
        m_settings.WriteSettingInt("Settings", "RecordDeviceChannel", 4);
        const InputSelection loaded = LoadInputSelection(m_settings, m_list);
        EXPECT_EQ(loaded.deviceNumber, 0) << stored;
        EXPECT_EQ(loaded.sourceNumber, 4) << stored;
    }
}

TEST_F(RecordOptionsTest, ListsNameEveryDeviceAndCapSourceLines) {
    EXPECT_EQ(DeviceListItems(m_list),
              (std::vector<std::string>{"[Default Sound In]", "(Unknown Device)", "USB Mic",
                                        "Monitor of Speakers"}));
    EXPECT_EQ(SourceListItems(m_list, 2),
              (std::vector<std::string>{"Windows Record Mixer", "Microphone", "Line In"}));
    // The default input shows the lines of the preferred device (1: "USB Mic").
    EXPECT_EQ(SourceListItems(m_list, 0), SourceListItems(m_list, 2));
    EXPECT_EQ(SourceListItems(m_list, 3).size(), 128u);
    EXPECT_TRUE(SourceListItems(m_list, 4).empty());
}

TEST_F(RecordOptionsTest, RecordVolumeGoesToTheSelectedSourceLineOnly) {
    test::ManualDispatcher dispatcher;
    CaptureEngine engine(m_list, dispatcher);
    engine.ApplyInputSelection({0, 0});
    engine.ApplyRecordVolume(-6);
    EXPECT_TRUE(m_list.mixerLog().empty()) << "source 0 leaves the mixer alone";
    engine.ApplyInputSelection({0, 2});
    engine.ApplyRecordVolume(-6);
    engine.ApplyInputSelection({3, 1});
    engine.ApplyRecordVolume(12);
    EXPECT_EQ(m_list.mixerLog(), (std::vector<std::string>{"1/1/-6", "2/0/12"}));
}

}  // namespace
}  // namespace sonaro
