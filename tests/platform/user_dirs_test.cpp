#include "platform/user_dirs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/blocking_fifo.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

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

}  // namespace
}  // namespace sonaro
