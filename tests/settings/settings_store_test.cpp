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

#include "support/settings_home.h"

namespace sonaro {
namespace {

class SettingsStoreTest : public test::SettingsTest {
  protected:
    // A second backend on the same files, as another process would open them.
    std::unique_ptr<SqliteSettingsBackend> reopen() const {
        return std::make_unique<SqliteSettingsBackend>(m_home.paths.userRegistry,
                                                       m_home.paths.machineRegistry);
    }

    std::optional<RegistryValue> raw(std::string_view section, std::string_view name) {
        return m_home.backend.readValue(RegistryRoot::CurrentUser,
                                        SettingsStore::SectionKeyPath(section), name);
    }
};

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
        {"", 99},
    };
    for (const auto& [text, expected] : cases) {
        m_settings.WriteSettingString("Settings", "N", text);
        EXPECT_EQ(m_settings.ReadSettingInt("Settings", "N", 99), expected) << text;
    }
}

TEST_F(SettingsStoreTest, FlagsAreNoOnlyWhenTheTextBeginsWithZero) {
    const std::pair<const char*, bool> cases[] = {{"0", false}, {"01", false}, {"0yes", false},
                                                  {"10", true}, {"no", true},  {" 0", true}};
    for (const auto& [text, expected] : cases) {
        m_settings.WriteSettingString("Settings", "B", text);
        EXPECT_EQ(m_settings.ReadSettingBool("Settings", "B", !expected), expected) << text;
    }
    m_settings.WriteSettingString("Settings", "B", "");
    EXPECT_TRUE(m_settings.ReadSettingBool("Settings", "B", true));
    EXPECT_FALSE(m_settings.ReadSettingBool("Settings", "B", false));
}

TEST_F(SettingsStoreTest, TextsLongerThanTheReadBufferReadAsAbsent) {
    const std::string fits(SettingsStore::kMaxTextLength, 'a');
    const std::string tooLong(SettingsStore::kReadBufferBytes, 'b');
    m_settings.WriteSettingString("Settings", "Fits", fits);
    m_settings.WriteSettingString("Settings", "TooLong", tooLong);
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "Fits", "d"), fits);
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "TooLong", "d"), "d");

    std::string out;
    EXPECT_FALSE(m_settings.ReadRegistryText(RegistryRoot::CurrentUser,
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

    m_settings.WriteSettingInt(section, "V", 12);
    // A different section that only differs beyond the cut lands on the same key.
    EXPECT_EQ(m_settings.ReadSettingInt(section + "different tail", "V", 0), 12);
    EXPECT_TRUE(m_settings.RegistryKeyExists(RegistryRoot::CurrentUser, path));
}

TEST_F(SettingsStoreTest, SectionsAndNamesIgnoreCase) {
    m_settings.WriteSettingString("Settings", "OutputFolder", "/rec");
    EXPECT_EQ(m_settings.ReadSettingString("SETTINGS", "outputfolder", ""), "/rec");
    m_settings.WriteSettingString("settings", "OUTPUTFOLDER", "/other");
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "OutputFolder", ""), "/other");
    EXPECT_EQ(m_home.backend
                  .valueNames(RegistryRoot::CurrentUser, SettingsStore::SectionKeyPath("Settings"))
                  .size(),
              1u);
}

TEST_F(SettingsStoreTest, SubkeysCanBeListedAndDeletedWithTheirValues) {
    m_settings.WriteSettingInt("Hotkey\\1", "Key", 0x74);
    m_settings.WriteSettingInt("Hotkey\\2", "Key", 0x75);
    m_settings.WriteSettingInt("Hotkey\\2\\Deeper", "Key", 1);
    m_settings.WriteSettingInt("HotkeyOther", "Key", 1);
    ASSERT_TRUE(m_home.backend.createKey(RegistryRoot::CurrentUser,
                                         SettingsStore::SectionKeyPath("Hotkey\\3")));

    auto slots = m_settings.ListSubsections("hotkey");
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<std::string>{"1", "2", "3"}));

    m_settings.DeleteSection("Hotkey\\2");
    EXPECT_EQ(m_settings.ReadSettingInt("Hotkey\\2", "Key", -1), -1);
    EXPECT_EQ(m_settings.ReadSettingInt("Hotkey\\2\\Deeper", "Key", -1), -1);
    EXPECT_EQ(m_settings.ReadSettingInt("Hotkey\\1", "Key", -1), 0x74);
    EXPECT_EQ(m_settings.ReadSettingInt("HotkeyOther", "Key", -1), 1);
    EXPECT_TRUE(m_settings.RegistryKeyExists(RegistryRoot::CurrentUser,
                                             SettingsStore::SectionKeyPath("Hotkey\\3")));

    m_settings.DeleteSetting("Hotkey\\1", "Key");
    EXPECT_EQ(m_settings.ReadSettingInt("Hotkey\\1", "Key", -1), -1);
    EXPECT_TRUE(m_settings.RegistryKeyExists(RegistryRoot::CurrentUser,
                                             SettingsStore::SectionKeyPath("Hotkey\\1")));
}

TEST_F(SettingsStoreTest, BinaryValuesKeepEveryByte) {
    std::string bytes(1000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7);
    }
    m_settings.WriteSettingBinary("Email", "_SMTPPassword", bytes);
    std::string out;
    ASSERT_TRUE(m_settings.ReadSettingBinary("email", "_smtppassword", out));
    EXPECT_EQ(out, bytes);
    EXPECT_FALSE(m_settings.ReadSettingBinary("Email", "Missing", out));
}

TEST_F(SettingsStoreTest, SiblingProductsAreReadMachineWideFirst) {
    const std::string path = "Software\\Kestrix Software\\Editor\\Settings";
    std::string out;
    EXPECT_FALSE(m_settings.ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(m_settings.RegistryKeyExists(RegistryRoot::LocalMachine, path));
    EXPECT_FALSE(std::filesystem::exists(m_home.paths.machineRegistry))
        << "reading machine values creates no machine database";

    m_settings.WriteRegistryText(RegistryRoot::CurrentUser, path, "Path", "/user/editor");
    EXPECT_TRUE(m_settings.ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "/user/editor");
    EXPECT_FALSE(m_settings.ReadSiblingProductSetting(false, "Editor", "Path", out));

    m_settings.WriteRegistryText(RegistryRoot::LocalMachine, path, "Path", "/machine/editor");
    EXPECT_TRUE(m_settings.ReadSiblingProductSetting(true, "Editor", "Path", out));
    EXPECT_EQ(out, "/machine/editor");
}

TEST_F(SettingsStoreTest, ThreadsInTwoProcessesLoseNoWriteAndOthersSeeThemAtOnce) {
    constexpr int kThreads = 3;
    constexpr int kValues = 1000;
    // Created before the fork so both processes start from an existing database.
    m_settings.WriteSettingInt("Concurrency", "start", 1);
    // Read while absent: the writes of the other connections must still be seen at once.
    EXPECT_EQ(m_settings.ReadSettingInt("Concurrency", "childt0v1", -1), -1);
    const auto runWriters = [&](const std::string& process) {
        auto backend = reopen();
        SettingsStore store(*backend);
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&store, prefix = process + "t" + std::to_string(t) + "v"] {
                for (int i = 0; i < kValues; ++i) {
                    store.WriteSettingInt("Concurrency", prefix + std::to_string(i), i);
                }
            });
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
                missing += m_settings.ReadSettingInt("Concurrency", name, -1) != i;
            }
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST_F(SettingsStoreTest, CorruptDatabaseIsMovedAsideAndReplaced) {
    // Files of their own, so that no connection of the fixture stays open on them.
    const std::string folder = m_dir + "/corrupt";
    const std::string user = folder + "/registry.db";
    {
        SqliteSettingsBackend backend(user, folder + "/machine.db");
        SettingsStore(backend).WriteSettingInt("Settings", "AutoNumber", 5);
    }
    {
        std::ofstream garbage(user, std::ios::binary | std::ios::trunc);
        garbage << std::string(8192, '\x5a');
    }
    std::filesystem::remove(user + "-wal");
    std::filesystem::remove(user + "-shm");

    SqliteSettingsBackend backend(user, folder + "/machine.db");
    SettingsStore store(backend);
    EXPECT_EQ(store.ReadSettingInt("Settings", "AutoNumber", 1), 1);
    store.WriteSettingInt("Settings", "AutoNumber", 6);
    EXPECT_EQ(store.ReadSettingInt("Settings", "AutoNumber", 1), 6);

    int asides = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        asides += entry.path().filename().string().rfind("registry.db.corrupt-", 0) == 0 &&
                  entry.path().extension() != ".db-wal";
    }
    EXPECT_GE(asides, 1);
}

TEST_F(SettingsStoreTest, UnusableDatabaseFolderLosesWritesSilently) {
    // A file where the settings folder should be: nothing can be created below it.
    const std::string blocked = m_dir + "/blocked";
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
        EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
        EXPECT_FALSE(m_settings.ReadIfStored(*entry));
        const std::string value = "value of " + std::string(entry->name);
        m_settings.Write(*entry, value);
        EXPECT_EQ(m_settings.Read(*entry), value);
        EXPECT_EQ(m_settings.ReadIfStored(*entry), value);
        m_settings.Write(*entry, "");
        EXPECT_EQ(m_settings.Read(*entry), "") << "a stored empty text is no absent one";
    }
    for (const BoolSetting* entry : setting::kAllBoolSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
        m_settings.Write(*entry, !entry->defaultValue);
        EXPECT_EQ(m_settings.Read(*entry), !entry->defaultValue);
        EXPECT_EQ(raw(entry->section, entry->name)->data, entry->defaultValue ? "0" : "1");
    }
    for (const IntSetting* entry : setting::kAllIntSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_GE(entry->defaultValue, entry->min);
        EXPECT_LE(entry->defaultValue, entry->max);
        EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
        EXPECT_FALSE(m_settings.ReadIfStored(*entry));
        for (const int value : {entry->min, entry->max, entry->defaultValue}) {
            m_settings.Write(*entry, value);
            EXPECT_EQ(m_settings.Read(*entry), value);
            EXPECT_EQ(raw(entry->section, entry->name)->type, RegistryType::Text);
            EXPECT_EQ(raw(entry->section, entry->name)->data, std::to_string(value));
        }
        if (entry->min > INT32_MIN) {
            m_settings.Write(*entry, entry->min - 1);
            EXPECT_EQ(m_settings.Read(*entry), entry->min);
        }
        if (entry->max < INT32_MAX) {
            m_settings.WriteSettingInt(entry->section, entry->name, entry->max + 1);
            EXPECT_EQ(m_settings.Read(*entry), entry->max);
        }
        m_settings.WriteSettingString(entry->section, entry->name, "99999999999999999999");
        EXPECT_EQ(m_settings.Read(*entry), entry->max);
        m_settings.WriteSettingString(entry->section, entry->name, "-99999999999999999999");
        EXPECT_EQ(m_settings.ReadIfStored(*entry), entry->min);
        m_settings.WriteSettingString(entry->section, entry->name, "");
        EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
    }
    for (const ChoiceSetting* entry : setting::kAllChoiceSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
        for (int choice = 0; choice < entry->count; ++choice) {
            m_settings.Write(*entry, choice);
            EXPECT_EQ(m_settings.Read(*entry), choice);
        }
        for (const int other : {-1, entry->count}) {
            m_settings.WriteSettingInt(entry->section, entry->name, other);
            EXPECT_EQ(m_settings.Read(*entry), entry->defaultValue);
        }
    }
    for (const SlotIntSetting* entry : setting::kAllSlotIntSettings) {
        SCOPED_TRACE(entry->name);
        EXPECT_EQ(m_settings.Read(*entry, 3), entry->defaultValue);
        m_settings.Write(*entry, 3, entry->max);
        m_settings.Write(*entry, 4, entry->min);
        EXPECT_EQ(m_settings.Read(*entry, 3), entry->max);
        EXPECT_EQ(m_settings.Read(*entry, 4), entry->min);
        EXPECT_EQ(m_settings.Read(*entry, 5), entry->defaultValue);
    }
}

// Two entries for one stored value could disagree on its default or limits again.
TEST_F(SettingsStoreTest, EachStoredValueHasOneSchemaEntry) {
    std::set<std::string> seen;
    const auto add = [&](std::string_view section, std::string_view name) {
        std::string key = std::string(section) + "\\" + std::string(name);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_TRUE(seen.insert(key).second) << key;
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
        m_settings.WriteSettingInt(std::string(slots.section) + "\\" + name, "Key", 1);
    }
    std::vector<int> found = m_settings.Slots(slots);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{0, 7, 12}));
    EXPECT_TRUE(m_settings.SlotExists(slots, 7));
    m_settings.DeleteSlot(slots, 7);
    EXPECT_FALSE(m_settings.SlotExists(slots, 7));
    EXPECT_EQ(m_settings.Read(setting::kHotKeyKey, 12), 1);
}

}  // namespace
}  // namespace sonaro
