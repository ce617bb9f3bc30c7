#include "record/file_naming.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "support/fake_clock.h"
#include "support/scripted_prompter.h"
#include "support/settings_home.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class FileNamingTest : public test::SettingsTest {
  protected:
    FileNamingTest()
        : m_naming(m_settings, m_clock, m_dir + "/Documents",
                   [this](const char*, struct statvfs* info) { return fakeStatVfs(info); }) {
        m_clock.setNow(test::UtcSeconds(2026, 3, 7, 9, 5, 4));
        m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", m_dir);
    }

    int fakeStatVfs(struct statvfs* info) const {
        if (m_statFails) {
            return -1;
        }
        *info = {};
        info->f_frsize = m_blockSize;
        info->f_bavail = m_freeBlocks;
        info->f_blocks = m_totalBlocks;
        return 0;
    }

    void touch(const std::string& name) { std::ofstream(m_dir + "/" + name) << "x"; }

    test::FakeClock m_clock;
    FileNaming m_naming;
    bool m_statFails = false;
    unsigned long m_blockSize = 4096;
    fsblkcnt_t m_freeBlocks = 0;
    fsblkcnt_t m_totalBlocks = 0;
};

TEST_F(FileNamingTest, CounterSkipsExistingNamesAndAdvancesPerTry) {
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Untitled %autonumber%"), "Untitled 001");
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "AutoNumber", 0), 2);

    touch("Untitled 002.wav");
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Untitled %autonumber%"), "Untitled 003");
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "AutoNumber", 0), 4);

    // A file of another format does not block the name; a folder of the same name does.
    touch("Untitled 004.mp3");
    mkdir((m_dir + "/Untitled 005.wav").c_str(), 0700);
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Untitled %autonumber%"), "Untitled 004");
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Untitled %autonumber%"), "Untitled 006");

    m_settings.WriteSettingInt("Settings", "AutoNumber", 1234);
    EXPECT_EQ(m_naming.ExpandFileNamePattern("n%autonumber%"), "n1234");
}

// A 250-character folder leaves no room for the name within 259 characters; the system's limit
// is far larger, so the counter must look at the whole path.
TEST_F(FileNamingTest, CounterSeesTheWholePathInALongFolder) {
    const std::string folder = m_dir + "/" + std::string(250 - m_dir.size() - 1, 'd');
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", folder);
    std::ofstream(folder + "/Untitled 001.wav") << "x";
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Untitled %autonumber%"), "Untitled 002");
    EXPECT_TRUE(m_naming.RecordingExists("Untitled 001"));
    std::ofstream(folder + "/Untitled") << "x";
    EXPECT_FALSE(m_naming.RecordingExists("Untitled 002"));
}

TEST_F(FileNamingTest, FieldsShareOneTimeAndAreCleaned) {
    EXPECT_EQ(m_naming.ExpandFileNamePattern("%YYYY%.%MM%.%DD% %HH%-%MIN%-%SS%"),
              "20260307 09-05-04");
    // Capitals make an unknown field, which disappears; "%%" is one percent sign; a lone percent
    // sign at the end stays.
    EXPECT_EQ(m_naming.ExpandFileNamePattern("a%AUTONUMBER%b%%c%"), "ab%c%");
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "AutoNumber", 5), 5);
    // An unclosed field runs to the end of the pattern.
    EXPECT_EQ(m_naming.ExpandFileNamePattern("x%SS"), "x04");
    EXPECT_EQ(m_naming.ExpandFileNamePattern("%bogus%"), "");
    // Without a counter an existing name is kept.
    touch("Take 04.wav");
    EXPECT_EQ(m_naming.ExpandFileNamePattern("Take %SS%"), "Take 04");
    EXPECT_EQ(m_settings.ReadSettingInt("Settings", "AutoNumber", 5), 5);
}

TEST_F(FileNamingTest, ExtensionFollowsTheFormat) {
    for (const auto& [format, extension] : {std::pair{1, ".mp3"}, {2, ".aif"}, {7, ".wav"}}) {
        m_settings.WriteSettingInt("Settings", "Format", format);
        EXPECT_EQ(m_naming.CurrentExtension(), extension) << format;
    }
}

TEST(FileNameRules, CleaningRemovesForbiddenCharacters) {
    EXPECT_EQ(CleanFileName("a/b:c?d\\e|f<g>h\"i*j.k\x01l\tm n-o").name, "abcdefghijklm n-o");
    EXPECT_FALSE(CleanFileName("../..").valid);
    EXPECT_TRUE(CleanFileName("x").valid);
    // Too long a name is refused where the file is made, never cut into another name.
    EXPECT_EQ(CleanFileName(std::string(400, 'y')).name, std::string(400, 'y'));
}

TEST(FileNameRules, PathGetsOneSeparatorAndIsNeverCut) {
    EXPECT_EQ(BuildRecordingPath("/rec", "a", ".wav"), "/rec/a.wav");
    EXPECT_EQ(BuildRecordingPath("/rec/", "a", ".wav"), "/rec/a.wav");
    EXPECT_EQ(BuildRecordingPath("C:\\rec\\", "a", ".wav"), "C:\\rec\\a.wav");
    EXPECT_EQ(BuildRecordingPath("/rec", "", ".wav"), "/rec/.wav");
    const std::string folder = "/" + std::string(249, 'f');
    EXPECT_EQ(BuildRecordingPath(folder, "Untitled 001", ".wav"), folder + "/Untitled 001.wav");
    EXPECT_EQ(BuildRecordingPath(std::string(300, 'f'), "a", ".wav"),
              std::string(300, 'f') + "/a.wav");
}

// The limits are the system's own: a path refused here is one that open() calls too long, and a
// path accepted here is not.
TEST(FileNameRules, PathsAreRefusedExactlyWhereTheSystemRefusesThem) {
    const test::TempDir dir("limits");
    std::string deep;
    while (deep.size() < kMaxPathBytes) {
        deep += "/d";
    }
    deep.resize(kMaxPathBytes);
    for (const std::string& path :
         {dir + "/" + std::string(255, 'n'), dir + "/" + std::string(256, 'n') + "/a.wav",
          dir + "/" + std::string(256, 'n'), deep, deep + "d"}) {
        const std::string refusal = PathLengthRefusal(path);
        errno = 0;
        EXPECT_EQ(open(path.c_str(), O_RDONLY), -1);
        EXPECT_EQ(!refusal.empty(), errno == ENAMETOOLONG) << path.size() << ": " << refusal;
    }
    EXPECT_EQ(PathLengthRefusal(deep + "d"),
              "The path is 4096 bytes long; the system takes at most 4095.");
    EXPECT_EQ(PathLengthRefusal("/a/" + std::string(256, 'n') + "/b"),
              "The name \"" + std::string(256, 'n') +
                  "\" is 256 bytes long; the system takes at most 255 in a name.");
}

TEST(FileNameRules, PatternRulesGiveTheirTexts) {
    std::string message;
    EXPECT_FALSE(ValidateFileNamePattern("", &message));
    EXPECT_EQ(message, "File name format is invalid. Please try again.");
    EXPECT_FALSE(ValidateFileNamePattern("a %autonumber% b", &message));
    EXPECT_EQ(message,
              "File name format contains \"%autonumber%\" are not allowed to have post string. "
              "Please try again.");
    EXPECT_FALSE(ValidateFileNamePattern("%AUTONUMBER% %MIN%", &message));
    EXPECT_EQ(message,
              "File name format must contain either \"%autonumber%\" or \"%SS%\". Please try "
              "again.");
    EXPECT_TRUE(ValidateFileNamePattern("%AUTONUMBER% %SS%", &message));
    EXPECT_TRUE(ValidateFileNamePattern("Untitled %autonumber%", &message));
    EXPECT_TRUE(message.empty());
}

TEST(FileNameRules, KilobytesSaturateNearFourTerabytes) {
    EXPECT_EQ(KilobytesOf(0), 0u);
    EXPECT_EQ(KilobytesOf(1023), 0u);
    EXPECT_EQ(KilobytesOf(5ull << 30), 5u << 20);
    // 6 GiB: high word 1, low word 2 GiB.
    EXPECT_EQ(KilobytesOf(6ull << 30), (1u << 22) + (2u << 20));
    EXPECT_EQ(KilobytesOf(1ull << 50), (1023u << 22) + 0u);
    EXPECT_EQ(KilobytesOf(~0ull), (1023u << 22) + 4194303u);
}

TEST_F(FileNamingTest, FreeSpaceReportsAndWarns) {
    m_freeBlocks = 150 * 256;  // 150 MB in 4 KiB blocks
    m_totalBlocks = 600 * 256;
    FreeSpaceReport report = m_naming.CheckFreeSpace();
    ASSERT_TRUE(report.checked);
    EXPECT_EQ(report.freeKb, 150u * 1024);
    EXPECT_EQ(report.statusText, "Space Remaining:   150 MB");
    EXPECT_DOUBLE_EQ(report.usedFraction, 0.75);
    EXPECT_TRUE(report.belowLimit);

    m_settings.WriteSettingInt("Settings", "WarnSpaceBelow", 150);
    EXPECT_FALSE(m_naming.CheckFreeSpace().belowLimit);

    m_statFails = true;
    report = m_naming.CheckFreeSpace();
    EXPECT_EQ(report.freeKb, 16777216u);
    EXPECT_EQ(report.statusText, "Space Remaining: 16384 MB");
    EXPECT_DOUBLE_EQ(report.usedFraction, 0.0);

    m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", m_dir + "/missing");
    EXPECT_FALSE(m_naming.CheckFreeSpace().checked);
}

TEST_F(FileNamingTest, DefaultFolderIsCreatedBelowDocuments) {
    m_settings.DeleteSetting("FindPlay", "DefaultRecordFolder");
    EXPECT_EQ(m_naming.GetOutputFolder(), m_dir + "/Documents/Sonaro");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/Documents/Sonaro"));
}

TEST_F(FileNamingTest, FolderRulesAskAndCreateOneLevel) {
    test::ScriptedPrompter prompter;
    EXPECT_FALSE(m_naming.ValidateOutputFolder("", prompter));
    EXPECT_EQ(prompter.shown().back().text, "Output folder is invalid. Please try again.");
    EXPECT_TRUE(m_naming.ValidateOutputFolder(m_dir, prompter));

    // The default answer (No) keeps the page open and creates nothing.
    EXPECT_FALSE(m_naming.ValidateOutputFolder(m_dir + "/new", prompter));
    EXPECT_EQ(prompter.shown().back().title, "Create Folder");

    prompter.answer(PromptAnswer::Yes);
    EXPECT_TRUE(m_naming.ValidateOutputFolder(m_dir + "/new", prompter));
    prompter.answer(PromptAnswer::Yes);
    EXPECT_FALSE(m_naming.ValidateOutputFolder(m_dir + "/a/b", prompter));
    EXPECT_EQ(prompter.shown().back().text,
              "Cannot create the specified folder. Please try again.");
    prompter.answer(PromptAnswer::Yes);
    EXPECT_FALSE(m_naming.ValidateOutputFolder("plain", prompter));
    EXPECT_EQ(prompter.shown().back().text,
              "Cannot create the specified folder. Please enter a valid folder.");
    EXPECT_EQ(prompter.shown().back().title, "Invalid output folder");

    // A folder the system cannot name is refused with the reason, not offered for creation.
    const std::size_t shown = prompter.shown().size();
    prompter.answer(PromptAnswer::Yes);
    EXPECT_FALSE(m_naming.ValidateOutputFolder(m_dir + "/" + std::string(256, 'n'), prompter));
    ASSERT_EQ(prompter.shown().size(), shown + 1);
    EXPECT_EQ(prompter.shown().back().title, "Invalid output folder");
    EXPECT_THAT(prompter.shown().back().text, testing::HasSubstr("256 bytes"));

    std::string deep = m_dir;
    while (deep.size() <= 4095) {
        deep += "/level";
    }
    prompter.answer(PromptAnswer::Yes);
    EXPECT_FALSE(m_naming.ValidateOutputFolder(deep, prompter));
    ASSERT_EQ(prompter.shown().size(), shown + 2);
    EXPECT_THAT(prompter.shown().back().text, testing::HasSubstr("4095"));
}

}  // namespace
}  // namespace sonaro
