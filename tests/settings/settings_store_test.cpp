#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "platform/program_paths.h"
#include "platform/sqlite_settings_backend.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    SettingsStoreTest()
        : m_paths(ProgramPaths::FromEnvironment()),
          m_backend(std::make_unique<SqliteSettingsBackend>(m_paths.userRegistry,
                                                            m_paths.machineRegistry)),
          m_store(std::make_unique<SettingsStore>(*m_backend)) {}

    // A second store on the same files, as another process would open them.
    std::unique_ptr<SqliteSettingsBackend> reopen() const {
        return std::make_unique<SqliteSettingsBackend>(m_paths.userRegistry,
                                                       m_paths.machineRegistry);
    }

    std::optional<RegistryValue> raw(std::string_view section, std::string_view name) {
        return m_backend->readValue(RegistryRoot::CurrentUser,
                                    SettingsStore::SectionKeyPath(section), name);
    }

    test::TempHome m_home;
    ProgramPaths m_paths;
    std::unique_ptr<SqliteSettingsBackend> m_backend;
    std::unique_ptr<SettingsStore> m_store;
};

TEST_F(SettingsStoreTest, AbsentAndEmptyValuesGiveTheCallersDefault) {
    EXPECT_EQ(m_store->ReadSettingInt("Settings", "IntervalSecs", 30), 30);
    EXPECT_TRUE(m_store->ReadSettingBool("Settings", "RecordTone", true));
    EXPECT_EQ(m_store->ReadSettingString("Settings", "OutputFolder", "dflt"), "dflt");

    m_store->WriteSettingString("Settings", "IntervalSecs", "");
    m_store->WriteSettingString("Settings", "RecordTone", "");
    m_store->WriteSettingString("Settings", "OutputFolder", "");
    EXPECT_EQ(m_store->ReadSettingInt("Settings", "IntervalSecs", 30), 30);
    EXPECT_FALSE(m_store->ReadSettingBool("Settings", "RecordTone", false));
    EXPECT_TRUE(m_store->ReadSettingBool("Settings", "RecordTone", true));
    EXPECT_EQ(m_store->ReadSettingString("Settings", "OutputFolder", "dflt"), "");
}

TEST_F(SettingsStoreTest, NumbersAndFlagsAreStoredAsTextWithoutNul) {
    m_store->WriteSettingInt("Settings", "VoiceActivateLevel", -1);
    m_store->WriteSettingBool("Settings", "RecordTone", false);
    m_store->WriteSettingBool("Settings", "StoppedTone", true);
    const auto level = raw("Settings", "VoiceActivateLevel");
    ASSERT_TRUE(level);
    EXPECT_EQ(level->type, RegistryType::Text);
    EXPECT_EQ(level->data, "-1");
    EXPECT_EQ(raw("Settings", "RecordTone")->data, "0");
    EXPECT_EQ(raw("Settings", "StoppedTone")->data, "1");
    EXPECT_EQ(m_store->ReadSettingInt("Settings", "VoiceActivateLevel", 5), -1);
}

TEST_F(SettingsStoreTest, NumberTextsConvertLikeStrtol) {
    const std::pair<const char*, long> cases[] = {
        {"-18", -18},
        {"42 apples", 42},
        {"  +7", 7},
        {"abc", 0},
        {"-", 0},
        {"0x10", 0},
        {"99999999999999999999", LONG_MAX},
        {"-99999999999999999999", LONG_MIN},
        {"-9223372036854775808", LONG_MIN},
        {"9223372036854775807", LONG_MAX},
    };
    for (const auto& [text, expected] : cases) {
        m_store->WriteSettingString("Settings", "N", text);
        EXPECT_EQ(m_store->ReadSettingInt("Settings", "N", 99), expected) << text;
    }
}

TEST_F(SettingsStoreTest, FlagsAreNoOnlyWhenTheTextBeginsWithZero) {
    const std::pair<const char*, bool> cases[] = {{"0", false}, {"01", false}, {"0yes", false},
                                                  {"10", true}, {"no", true},  {" 0", true}};
    for (const auto& [text, expected] : cases) {
        m_store->WriteSettingString("Settings", "B", text);
        EXPECT_EQ(m_store->ReadSettingBool("Settings", "B", !expected), expected) << text;
    }
}

TEST_F(SettingsStoreTest, TextsLongerThanTheReadBufferReadAsAbsent) {
    const std::string fits(SettingsStore::kMaxTextLength, 'a');
    const std::string tooLong(SettingsStore::kReadBufferBytes, 'b');
    m_store->WriteSettingString("Settings", "Fits", fits);
    m_store->WriteSettingString("Settings", "TooLong", tooLong);
    EXPECT_EQ(m_store->ReadSettingString("Settings", "Fits", "d"), fits);
    EXPECT_EQ(m_store->ReadSettingString("Settings", "TooLong", "d"), "d");

    std::string out;
    EXPECT_FALSE(m_store->ReadRegistryText(RegistryRoot::CurrentUser,
                                           SettingsStore::SectionKeyPath("Settings"), "TooLong",
                                           std::string(5000, 'x'), out));
    EXPECT_EQ(out, std::string(SettingsStore::kMaxTextLength, 'x'))
        << "the copied default is cut like any read";
}

TEST_F(SettingsStoreTest, LongSectionPathsAreCutAndUsedCut) {
    const std::string section(300, 's');
    const std::string path = SettingsStore::SectionKeyPath(section);
    EXPECT_EQ(path.size(), 259u);
    EXPECT_EQ(path.rfind("Software\\Kestrix Audio\\Sonaro\\", 0), 0u);

    m_store->WriteSettingInt(section, "V", 12);
    // A different section that only differs beyond the cut lands on the same key.
    EXPECT_EQ(m_store->ReadSettingInt(section + "different tail", "V", 0), 12);
    EXPECT_TRUE(m_store->RegistryKeyExists(RegistryRoot::CurrentUser, path));
}

TEST_F(SettingsStoreTest, SectionsAndNamesIgnoreCase) {
    m_store->WriteSettingString("Settings", "OutputFolder", "/rec");
    EXPECT_EQ(m_store->ReadSettingString("SETTINGS", "outputfolder", ""), "/rec");
    m_store->WriteSettingString("settings", "OUTPUTFOLDER", "/other");
    EXPECT_EQ(m_store->ReadSettingString("Settings", "OutputFolder", ""), "/other");
    EXPECT_EQ(
        m_backend->valueNames(RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Settings"))
            .size(),
        1u);
}

TEST_F(SettingsStoreTest, SubkeysCanBeListedAndDeletedWithTheirValues) {
    m_store->WriteSettingInt("Hotkey\\1", "Key", 0x74);
    m_store->WriteSettingInt("Hotkey\\2", "Key", 0x75);
    m_store->WriteSettingInt("Hotkey\\2\\Deeper", "Key", 1);
    m_store->WriteSettingInt("HotkeyOther", "Key", 1);
    ASSERT_TRUE(m_backend->createKey(RegistryRoot::CurrentUser,
                                     SettingsStore::SectionKeyPath("Hotkey\\3")));

    auto slots = m_store->ListSubsections("hotkey");
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<std::string>{"1", "2", "3"}));

    m_store->DeleteSection("Hotkey\\2");
    EXPECT_EQ(m_store->ReadSettingInt("Hotkey\\2", "Key", -1), -1);
    EXPECT_EQ(m_store->ReadSettingInt("Hotkey\\2\\Deeper", "Key", -1), -1);
    EXPECT_EQ(m_store->ReadSettingInt("Hotkey\\1", "Key", -1), 0x74);
    EXPECT_EQ(m_store->ReadSettingInt("HotkeyOther", "Key", -1), 1);
    EXPECT_TRUE(m_store->RegistryKeyExists(RegistryRoot::CurrentUser,
                                           SettingsStore::SectionKeyPath("Hotkey\\3")));

    m_store->DeleteSetting("Hotkey\\1", "Key");
    EXPECT_EQ(m_store->ReadSettingInt("Hotkey\\1", "Key", -1), -1);
    EXPECT_TRUE(m_store->RegistryKeyExists(RegistryRoot::CurrentUser,
                                           SettingsStore::SectionKeyPath("Hotkey\\1")));
}

TEST_F(SettingsStoreTest, BinaryValuesKeepEveryByte) {
    std::string bytes(1000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7);
    }
    m_store->WriteSettingBinary("Email", "_SMTPPassword", bytes);
    std::string out;
    ASSERT_TRUE(m_backend && m_store->ReadSettingBinary("email", "_smtppassword", out));
    EXPECT_EQ(out, bytes);
    EXPECT_FALSE(m_store->ReadSettingBinary("Email", "Missing", out));
}

TEST_F(SettingsStoreTest, SiblingProductsAreReadMachineWideFirst) {
    const std::string path = "Software\\Kestrix Software\\Editor\\Settings";
    std::string out;
    EXPECT_FALSE(m_store->ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "");

    m_store->WriteRegistryText(RegistryRoot::CurrentUser, path, "Path", "/user/editor");
    EXPECT_TRUE(m_store->ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "/user/editor");
    EXPECT_FALSE(m_store->ReadSiblingProductSetting(false, "Editor", "Path", out));

    m_store->WriteRegistryText(RegistryRoot::LocalMachine, path, "Path", "/machine/editor");
    EXPECT_TRUE(m_store->ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "/machine/editor");
}

TEST_F(SettingsStoreTest, ReadingMachineValuesCreatesNoMachineDatabase) {
    std::string out;
    m_store->ReadRegistryText(RegistryRoot::LocalMachine, "Software\\X", "Y", "", out);
    EXPECT_FALSE(m_store->RegistryKeyExists(RegistryRoot::LocalMachine, "Software\\X"));
    EXPECT_FALSE(std::filesystem::exists(m_paths.machineRegistry));
}

TEST_F(SettingsStoreTest, WritesAreSeenByAnotherConnectionAtOnce) {
    auto other = reopen();
    SettingsStore otherStore(*other);
    EXPECT_EQ(otherStore.ReadSettingInt("Settings", "AutoNumber", 1), 1);
    m_store->WriteSettingInt("Settings", "AutoNumber", 17);
    EXPECT_EQ(otherStore.ReadSettingInt("Settings", "AutoNumber", 1), 17);
}

void writeMany(SettingsStore& store, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        store.WriteSettingInt("Concurrency", prefix + std::to_string(i), i);
    }
}

TEST_F(SettingsStoreTest, ThreadsInTwoProcessesLoseNoWrite) {
    constexpr int kThreads = 3;
    constexpr int kValues = 1000;
    // Created before the fork so both processes start from an existing database.
    m_store->WriteSettingInt("Concurrency", "start", 1);
    const auto runWriters = [&](const std::string& process) {
        auto backend = reopen();
        SettingsStore store(*backend);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(writeMany, std::ref(store),
                                 process + "t" + std::to_string(t) + "v", kValues);
        }
        for (auto& thread : threads) {
            thread.join();
        }
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        runWriters("child");
        _exit(0);
    }
    runWriters("parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    int missing = 0;
    for (const std::string process : {"child", "parent"}) {
        for (int t = 0; t < kThreads; ++t) {
            for (int i = 0; i < kValues; ++i) {
                const auto name = process + "t" + std::to_string(t) + "v" + std::to_string(i);
                missing += m_store->ReadSettingInt("Concurrency", name, -1) != i;
            }
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST_F(SettingsStoreTest, CorruptDatabaseIsMovedAsideAndReplaced) {
    m_store->WriteSettingInt("Settings", "AutoNumber", 5);
    m_store.reset();
    m_backend.reset();
    {
        std::ofstream garbage(m_paths.userRegistry, std::ios::binary | std::ios::trunc);
        garbage << std::string(8192, '\x5a');
    }
    std::filesystem::remove(m_paths.userRegistry + "-wal");
    std::filesystem::remove(m_paths.userRegistry + "-shm");

    m_backend = reopen();
    m_store = std::make_unique<SettingsStore>(*m_backend);
    EXPECT_EQ(m_store->ReadSettingInt("Settings", "AutoNumber", 1), 1);
    m_store->WriteSettingInt("Settings", "AutoNumber", 6);
    EXPECT_EQ(m_store->ReadSettingInt("Settings", "AutoNumber", 1), 6);

    int asides = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_paths.configHome + "/sonaro")) {
        asides += entry.path().filename().string().rfind("registry.db.corrupt-", 0) == 0 &&
                  entry.path().extension() != ".db-wal";
    }
    EXPECT_GE(asides, 1);
}

TEST_F(SettingsStoreTest, UnusableDatabaseFolderLosesWritesSilently) {
    // A file where the settings folder should be: nothing can be created below it.
    const std::string blocked = m_home.path() + "/blocked";
    std::ofstream(blocked) << "not a folder";
    SqliteSettingsBackend backend(blocked + "/sonaro/registry.db", blocked + "/machine.db");
    SettingsStore store(backend);
    store.WriteSettingInt("Settings", "AutoNumber", 3);
    EXPECT_EQ(store.ReadSettingInt("Settings", "AutoNumber", 1), 1);
    EXPECT_FALSE(store.RegistryKeyExists(RegistryRoot::CurrentUser,
                                         SettingsStore::SectionKeyPath("Settings")));
}

// Every entry of the schema: a value never written reads as its default, a written value reads
// back in the stored format of the program, and numbers outside the limits come back clamped.
TEST_F(SettingsStoreTest, EverySchemaEntryRoundTrips) {
    for (const TextSetting* entry : setting::kAllTextSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
        EXPECT_FALSE(m_store->ReadIfStored(*entry));
        const std::string value = "value of " + std::string(entry->name);
        m_store->Write(*entry, value);
        EXPECT_EQ(m_store->Read(*entry), value);
        EXPECT_EQ(m_store->ReadIfStored(*entry), value);
        m_store->Write(*entry, "");
        EXPECT_EQ(m_store->Read(*entry), "") << "a stored empty text is no absent one";
    }
    for (const BoolSetting* entry : setting::kAllBoolSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
        m_store->Write(*entry, !entry->defaultValue);
        EXPECT_EQ(m_store->Read(*entry), !entry->defaultValue);
        EXPECT_EQ(raw(entry->section, entry->name)->data, entry->defaultValue ? "0" : "1");
    }
    for (const IntSetting* entry : setting::kAllIntSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_GE(entry->defaultValue, entry->min);
        EXPECT_LE(entry->defaultValue, entry->max);
        EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
        EXPECT_FALSE(m_store->ReadIfStored(*entry));
        for (const int value : {entry->min, entry->max, entry->defaultValue}) {
            m_store->Write(*entry, value);
            EXPECT_EQ(m_store->Read(*entry), value);
            EXPECT_EQ(raw(entry->section, entry->name)->data, std::to_string(value));
        }
        if (entry->min > INT32_MIN) {
            m_store->Write(*entry, entry->min - 1);
            EXPECT_EQ(m_store->Read(*entry), entry->min);
        }
        if (entry->max < INT32_MAX) {
            m_store->WriteSettingInt(entry->section, entry->name, entry->max + 1);
            EXPECT_EQ(m_store->Read(*entry), entry->max);
        }
        m_store->WriteSettingString(entry->section, entry->name, "99999999999999999999");
        EXPECT_EQ(m_store->Read(*entry), entry->max);
        m_store->WriteSettingString(entry->section, entry->name, "-99999999999999999999");
        EXPECT_EQ(m_store->ReadIfStored(*entry), entry->min);
        m_store->WriteSettingString(entry->section, entry->name, "");
        EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
    }
    for (const ChoiceSetting* entry : setting::kAllChoiceSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
        for (int choice = 0; choice < entry->count; ++choice) {
            m_store->Write(*entry, choice);
            EXPECT_EQ(m_store->Read(*entry), choice);
        }
        for (const int other : {-1, entry->count}) {
            m_store->WriteSettingInt(entry->section, entry->name, other);
            EXPECT_EQ(m_store->Read(*entry), entry->defaultValue);
        }
    }
    for (const SlotIntSetting* entry : setting::kAllSlotIntSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_store->Read(*entry, 3), entry->defaultValue);
        m_store->Write(*entry, 3, entry->max);
        m_store->Write(*entry, 4, entry->min);
        EXPECT_EQ(m_store->Read(*entry, 3), entry->max);
        EXPECT_EQ(m_store->Read(*entry, 4), entry->min);
        EXPECT_EQ(m_store->Read(*entry, 5), entry->defaultValue);
    }
}

// Two entries for one stored value could disagree on its default or limits again.
TEST_F(SettingsStoreTest, EachStoredValueHasOneSchemaEntry) {
    std::set<std::pair<std::string, std::string>> seen;
    const auto add = [&](std::string_view section, std::string_view name) {
        std::string lower(section);
        std::string lowerName(name);
        for (std::string* text : {&lower, &lowerName}) {
            for (char& c : *text) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        EXPECT_TRUE(seen.emplace(lower, lowerName).second) << section << "\\" << name;
    };
    for (const auto* entry : setting::kAllTextSettings)
        add(entry->section, entry->name);
    for (const auto* entry : setting::kAllIntSettings)
        add(entry->section, entry->name);
    for (const auto* entry : setting::kAllBoolSettings)
        add(entry->section, entry->name);
    for (const auto* entry : setting::kAllChoiceSettings)
        add(entry->section, entry->name);
    for (const auto* entry : setting::kAllPasswordSettings)
        add(entry->section, entry->name);
    for (const auto* entry : setting::kAllSlotIntSettings)
        add(entry->slotSection.section, entry->name);
}

TEST_F(SettingsStoreTest, SlotsAreTheDecimalSubsections) {
    const SlotSection& slots = setting::kHotKeySlots;
    for (const char* name : {"0", "7", "12", "007", "x1", "1234567890"}) {
        m_store->WriteSettingInt(std::string(slots.section) + "\\" + name, "Key", 1);
    }
    std::vector<int> found = m_store->Slots(slots);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{0, 7, 12}));
    EXPECT_TRUE(m_store->SlotExists(slots, 7));
    m_store->DeleteSlot(slots, 7);
    EXPECT_FALSE(m_store->SlotExists(slots, 7));
    EXPECT_EQ(m_store->Read(setting::kHotKeyKey, 12), 1);
}

}  // namespace
}  // namespace sonaro
