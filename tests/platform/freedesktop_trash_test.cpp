#include "platform/freedesktop_trash.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>

#include "recordings/recording_actions.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

namespace fs = std::filesystem;

// Every file of a trash, by its original path (as a file manager decodes it from the info file
// to restore the file), with its contents.
std::map<std::string, std::string> TrashContents(const std::string& trash) {
    constexpr std::string_view kPath = "[Trash Info]\nPath=";
    constexpr std::string_view kDate = "\nDeletionDate=";
    // The deletion time as the Trash standard writes it, "YYYY-MM-DDThh:mm:ss"; 0 is any digit.
    constexpr std::string_view kStamp = "0000-00-00T00:00:00\n";
    std::map<std::string, std::string> contents;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(trash + "/info", error)) {
        const std::string text = test::ReadTextFile(entry.path().string());
        const std::size_t date = std::min(text.find(kDate), text.size());
        const std::string stamp = text.substr(std::min(date + kDate.size(), text.size()));
        EXPECT_TRUE(text.starts_with(kPath) && stamp.size() == kStamp.size() &&
                    std::equal(stamp.begin(), stamp.end(), kStamp.begin(),
                               [](char c, char p) {
                                   return p == '0'
                                              ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                              : c == p;
                               }))
            << text;
        std::string path;
        for (std::size_t i = kPath.size(); i < date; ++i) {
            if (text[i] == '%' && i + 2 < date) {
                path.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
                i += 2;
            } else {
                path.push_back(text[i]);
            }
        }
        contents[path] = test::ReadTextFile(trash + "/files/" + entry.path().stem().string());
    }
    return contents;
}

class TrashTest : public testing::Test {
  protected:
    test::TempDir m_dir{"trash"};
    std::string m_share = m_dir + "/share";
    FreedesktopTrash m_trash{m_share};
};

TEST_F(TrashTest, ARecordingGoesToTheHomeTrashWithEveryCompanionAndCanBeRestored) {
    const std::string folder = m_dir + "/rec ü";
    fs::create_directories(folder);
    for (const char* name : {"take1.wav", "take1.mp3", "take1.flac", "take1.vrd", "take10.wav"}) {
        test::WriteTextFile(folder + "/" + name, name);
    }
    EXPECT_TRUE(TrashRecording(m_trash, folder, "take1", ".wav").empty());
    EXPECT_EQ(TrashContents(m_share + "/Trash"),
              (std::map<std::string, std::string>{{folder + "/take1.flac", "take1.flac"},
                                                  {folder + "/take1.mp3", "take1.mp3"},
                                                  {folder + "/take1.vrd", "take1.vrd"},
                                                  {folder + "/take1.wav", "take1.wav"}}));
    EXPECT_TRUE(fs::exists(folder + "/take10.wav"));
    EXPECT_FALSE(fs::exists(folder + "/take1.wav"));
    EXPECT_NE(test::ReadTextFile(m_share + "/Trash/info/take1.wav.trashinfo").find("rec%20%C3%BC"),
              std::string::npos);

    // A second file of the same name keeps the first one's place in the trash.
    test::WriteTextFile(folder + "/take1.wav", "again");
    std::string error;
    ASSERT_TRUE(m_trash.MoveToTrash(folder + "/take1.wav", error)) << error;
    EXPECT_EQ(test::ReadTextFile(m_share + "/Trash/files/take1.wav"), "take1.wav");
    EXPECT_EQ(test::ReadTextFile(m_share + "/Trash/files/take1.wav.2"), "again");
    EXPECT_FALSE(m_trash.MoveToTrash(folder + "/missing.wav", error));
    EXPECT_FALSE(error.empty());
}

TEST_F(TrashTest, AFileOnAnotherMountGoesToThatMountsTrash) {
    const std::string mount = m_dir + "/mnt";
    fs::create_directories(mount);
    if (::mount("sonaro-test", mount.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "); needs root, as in CI";
    }
    fs::create_directories(mount + "/rec");
    test::WriteTextFile(mount + "/rec/take1.wav", "tmpfs");
    std::string error;
    const bool moved = m_trash.MoveToTrash(mount + "/rec/take1.wav", error);
    const auto contents = TrashContents(mount + "/.Trash-" + std::to_string(getuid()));
    const bool homeTrashUsed = fs::exists(m_share + "/Trash");
    ::umount(mount.c_str());
    ASSERT_TRUE(moved) << error;
    // The path is relative to the mount's top folder, as the Trash standard allows there.
    EXPECT_EQ(contents, (std::map<std::string, std::string>{{"rec/take1.wav", "tmpfs"}}));
    EXPECT_FALSE(homeTrashUsed);
}

}  // namespace
}  // namespace sonaro
