#include "platform/program_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

}  // namespace
}  // namespace sonaro
