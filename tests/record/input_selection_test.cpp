#include <gtest/gtest.h>

#include "platform/program_paths.h"
#include "platform/sqlite_settings_backend.h"
#include "record/capture_engine.h"
#include "record/input_selection.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_wave_in.h"

namespace sonaro {
namespace {

using test::ScriptedInput;

class InputSelectionTest : public testing::Test {
  protected:
    InputSelectionTest()
        : m_paths(ProgramPaths::FromEnvironment()),
          m_backend(m_paths.userRegistry, m_paths.machineRegistry),
          m_settings(m_backend),
          m_list(makeInputs(), 1) {}

    static std::vector<ScriptedInput> makeInputs() {
        std::vector<ScriptedInput> inputs(3);
        inputs[0].name = "";
        inputs[1].name = "USB Mic";
        inputs[1].sourceLines = {"Microphone", "Line In"};
        inputs[2].name = "Monitor of Speakers";
        inputs[2].sourceLines.assign(130, "Port");
        return inputs;
    }

    void TearDown() override { m_settings.DeleteSection(setting::kSettings); }

    ProgramPaths m_paths;
    SqliteSettingsBackend m_backend;
    SettingsStore m_settings;
    test::ScriptedWaveInList m_list;
};

TEST_F(InputSelectionTest, SavedDeviceIsFoundAgainByName) {
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

TEST_F(InputSelectionTest, MissingOrDifferentlyCasedNamesSelectTheDefaultAndKeepTheSource) {
    for (const char* stored : {"Old Headset", "usb mic", ""}) {
        m_settings.WriteSettingString("Settings", "RecordDevice", stored);
        m_settings.WriteSettingInt("Settings", "RecordDeviceChannel", 4);
        const InputSelection loaded = LoadInputSelection(m_settings, m_list);
        EXPECT_EQ(loaded.deviceNumber, 0) << stored;
        EXPECT_EQ(loaded.sourceNumber, 4) << stored;
    }
}

TEST_F(InputSelectionTest, ListsNameEveryDeviceAndCapSourceLines) {
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

TEST_F(InputSelectionTest, RecordVolumeGoesToTheSelectedSourceLineOnly) {
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
