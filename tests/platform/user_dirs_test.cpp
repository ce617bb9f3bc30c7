#include "platform/user_dirs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_home.h"

namespace sonaro {
namespace {

TEST(UserDirs, DocumentsFolderComesFromUserDirsWithAFallback) {
    const std::string dir = test::MakeTempDir("userdirs");
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
    test::RemoveTree(dir);
}

}  // namespace
}  // namespace sonaro
