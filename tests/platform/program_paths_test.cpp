#include "platform/program_paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "support/temp_home.h"

namespace sonaro {
namespace {

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

TEST(ProgramPaths, PrivateFoldersAreCreatedOrTightenedToMode0700) {
    test::TempHome home;
    const std::string folder = home.path() + "/deep/er/private";
    ASSERT_TRUE(EnsurePrivateDirectory(folder));
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    chmod(folder.c_str(), 0755);
    ASSERT_TRUE(EnsurePrivateDirectory(folder));
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const std::string link = home.path() + "/link";
    ASSERT_EQ(symlink(folder.c_str(), link.c_str()), 0);
    EXPECT_FALSE(EnsurePrivateDirectory(link)) << "a symbolic link is not trusted";
}

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 0177777 : 0;
}

TEST(TemporaryFolder, APrivateFolderIsMadeWhenMissingAndKept) {
    test::TempHome home;
    const std::string usual = ProgramPaths::FromEnvironment().tempDir;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ChooseTemporaryFolder(usual), usual);
    EXPECT_EQ(ChooseTemporaryFolder(usual), usual);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(modeOf(usual), 040700u);
}

TEST(TemporaryFolder, AFolderOthersCouldReachIsRefusedForAFreshPrivateOne) {
    test::TempHome home;
    const std::string usual = ProgramPaths::FromEnvironment().tempDir;
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
             std::FILE* file = std::fopen(usual.c_str(), "w");
             return file != nullptr && std::fclose(file) == 0;
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
    std::FILE* file = std::fopen(blocked.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
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

}  // namespace
}  // namespace sonaro
