// The folders of the user's desktop the program follows: its own, the documents folder and
// the autostart entry.
#include "platform/program_paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/user_dirs.h"
#include "platform/xdg_autostart.h"
#include "support/blocking_fifo.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 0177777 : 0;
}

TEST(ProgramPaths, FollowTheXdgVariablesAndIgnoreRelativeOnes) {
    test::TempHome home;
    setenv("XDG_CONFIG_DIRS", "/opt/a/xdg:/etc/xdg", 1);
    auto paths = ProgramPaths::FromEnvironment();
    EXPECT_EQ(paths.userRegistry, home.path() + "/.config/sonaro/registry.db");
    EXPECT_EQ(paths.machineRegistry, "/opt/a/xdg/sonaro/registry.db");
    EXPECT_EQ(paths.dataDir, home.path() + "/.local/share/sonaro");
    EXPECT_EQ(paths.runtimeDir, home.path() + "/run/sonaro");
    EXPECT_EQ(paths.tempDir, home.path() + "/tmp/sonaro-" + std::to_string(getuid()));

    setenv("XDG_DATA_HOME", "relative/data", 1);
    unsetenv("XDG_RUNTIME_DIR");
    paths = ProgramPaths::FromEnvironment();
    EXPECT_EQ(paths.dataDir, home.path() + "/.local/share/sonaro");
    EXPECT_EQ(paths.runtimeDir, paths.tempDir);
}

TEST(ProgramPaths, PrivateFoldersAreCreatedWithMode0700AndNeverThroughALink) {
    test::TempHome home;
    const std::string folder = home.path() + "/deep/er/private";
    ASSERT_TRUE(EnsurePrivateDirectory(folder));
    EXPECT_EQ(modeOf(folder), 040700u);

    const std::string link = home.path() + "/link";
    ASSERT_EQ(symlink(folder.c_str(), link.c_str()), 0);
    EXPECT_FALSE(EnsurePrivateDirectory(link)) << "a symbolic link is not trusted";
}

TEST(TemporaryFolder, OnlyAPrivateFolderIsUsedAndMadeWhenMissing) {
    test::TempHome home;
    const std::string usual = ProgramPaths::FromEnvironment().tempDir;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ChooseTemporaryFolder(usual), usual);
    EXPECT_EQ(ChooseTemporaryFolder(usual), usual);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(modeOf(usual), 040700u);

    // One that others could reach is refused for a fresh private one.
    const std::string elsewhere = home.path() + "/elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    struct Case {
        const char* name;
        std::function<bool()> make;
    };
    std::vector<Case> cases = {
        {"mode 0777",
         [&] { return mkdir(usual.c_str(), 0700) == 0 && chmod(usual.c_str(), 0777) == 0; }},
        {"group may enter",
         [&] { return mkdir(usual.c_str(), 0700) == 0 && chmod(usual.c_str(), 0750) == 0; }},
        {"symbolic link", [&] { return symlink(elsewhere.c_str(), usual.c_str()) == 0; }},
        {"a file",
         [&] {
             test::WriteTextFile(usual, "");
             return modeOf(usual) != 0;
         }},
    };
    // Only root can give a folder to another user.
    if (geteuid() == 0) {
        cases.push_back({"owned by nobody", [&] {
                             return mkdir(usual.c_str(), 0700) == 0 &&
                                    chown(usual.c_str(), 65534, 65534) == 0;
                         }});
    }
    for (const Case& c : cases) {
        test::RemoveTree(usual);
        ASSERT_TRUE(c.make()) << c.name;
        const unsigned before = modeOf(usual);
        testing::internal::CaptureStderr();
        const std::string chosen = ChooseTemporaryFolder(usual);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(chosen.rfind(usual + "-", 0), 0u) << c.name << ": " << chosen;
        EXPECT_EQ(chosen.size(), usual.size() + 7) << c.name;
        EXPECT_EQ(modeOf(chosen), 040700u) << c.name;
        EXPECT_EQ(modeOf(usual), before) << c.name << ": refused, not tightened";
        EXPECT_THAT(said, testing::HasSubstr(usual + " is not private")) << c.name << said;
        EXPECT_THAT(said, testing::HasSubstr(chosen)) << c.name << said;
        test::RemoveTree(chosen);
    }
}

TEST(TemporaryFolder, WithoutAnyPrivateFolderNoneIsUsed) {
    test::TempHome home;
    // A file where the temporary folder's parent should be: nothing can be made below it.
    const std::string blocked = home.path() + "/blocked";
    test::WriteTextFile(blocked, "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ChooseTemporaryFolder(blocked + "/sonaro-0"), "");
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::HasSubstr("no private one can be made"));
}

TEST(TemporaryFolder, ARuntimeFolderInTheTemporaryFolderIsNeverTightened) {
    test::TempHome home;
    unsetenv("XDG_RUNTIME_DIR");
    const ProgramPaths paths = ProgramPaths::FromEnvironment();
    ASSERT_EQ(paths.runtimeDir, paths.tempDir);
    ASSERT_EQ(mkdir(paths.tempDir.c_str(), 0700), 0);
    chmod(paths.tempDir.c_str(), 0777);
    EXPECT_FALSE(PrepareRuntimeFolder(paths));
    EXPECT_EQ(modeOf(paths.tempDir), 040777u);
    chmod(paths.tempDir.c_str(), 0700);
    EXPECT_TRUE(PrepareRuntimeFolder(paths));

    // A runtime folder of its own is still made private as before.
    setenv("XDG_RUNTIME_DIR", (home.path() + "/run").c_str(), 1);
    const ProgramPaths own = ProgramPaths::FromEnvironment();
    ASSERT_EQ(mkdir(own.runtimeDir.c_str(), 0755), 0);
    EXPECT_TRUE(PrepareRuntimeFolder(own));
    EXPECT_EQ(modeOf(own.runtimeDir), 040700u);
}

TEST(UserDirs, DocumentsFolderComesFromUserDirsWithAFallback) {
    const test::TempDir dir("userdirs");
    ProgramPaths paths;
    paths.home = dir + "/home";
    paths.configHome = dir + "/config";
    EXPECT_EQ(FindDocumentsFolder(paths), dir + "/home/Documents");

    std::filesystem::create_directories(paths.configHome);
    std::ofstream(paths.configHome + "/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n"
        << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n";
    EXPECT_EQ(FindDocumentsFolder(paths), dir + "/home/Dokumente");

    std::ofstream(paths.configHome + "/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";
    EXPECT_EQ(FindDocumentsFolder(paths), dir + "/home/Documents");
    std::ofstream(paths.configHome + "/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
    EXPECT_EQ(FindDocumentsFolder(paths), "/srv/docs");

    std::filesystem::remove(paths.configHome + "/user-dirs.dirs");
    std::string found;
    EXPECT_TRUE(test::FinishesBesideFifo(paths.configHome + "/user-dirs.dirs", 2000, [&] {
        found = FindDocumentsFolder(paths);
    })) << "a FIFO in place of the file held up the start";
    EXPECT_EQ(found, dir + "/home/Documents");
}

TEST(XdgAutostart, EntryStartsTheProgramQuotedAtLogon) {
    const test::TempDir dir("autostart");
    XdgAutostart autostart(dir + "/config");
    EXPECT_FALSE(autostart.IsEnabled());
    EXPECT_TRUE(autostart.Disable()) << "nothing to remove is no failure";
    ASSERT_TRUE(autostart.Enable("/opt/my apps/sonaro"));
    const std::string text = test::ReadTextFile(dir + "/config/autostart/sonaro.desktop");
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_THAT(text, testing::HasSubstr("\nExec=\"/opt/my apps/sonaro\" -logon\n"));
    EXPECT_THAT(text, testing::HasSubstr("\nType=Application\n"));
    EXPECT_TRUE(autostart.Disable());
    EXPECT_FALSE(autostart.IsEnabled());
}

TEST(XdgAutostart, ReservedCharactersAreEscaped) {
    EXPECT_EQ(XdgAutostart::ExecLine("/a/$b\"c`d\\e%f"), R"("/a/\\$b\\"c\\`d\\\\e%%f" -logon)");
}

}  // namespace
}  // namespace sonaro
