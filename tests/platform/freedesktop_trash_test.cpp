#include "platform/freedesktop_trash.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>

#include "recordings/recording_actions.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

namespace fs = std::filesystem;

// What a file manager reads from a .trashinfo file to restore its file.
struct TrashInfo {
    std::string path;  // decoded
    std::string deletionDate;
};

TrashInfo ReadTrashInfo(const std::string& file) {
    const std::string text = test::ReadTextFile(file);
    constexpr std::string_view kPath = "[Trash Info]\nPath=";
    constexpr std::string_view kDate = "\nDeletionDate=";
    TrashInfo info;
    const std::size_t date = text.find(kDate);
    if (text.rfind(kPath, 0) != 0 || date == std::string::npos || text.back() != '\n') {
        return info;
    }
    const std::string encoded = text.substr(kPath.size(), date - kPath.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            info.path.push_back(
                static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            info.path.push_back(encoded[i]);
        }
    }
    info.deletionDate = text.substr(date + kDate.size(), text.size() - date - kDate.size() - 1);
    return info;
}

// "YYYY-MM-DDThh:mm:ss", as the Trash standard writes the deletion time.
bool IsDeletionDate(const std::string& text) {
    int fields[6] = {};
    char tail = 0;
    return text.size() == 19 &&
           std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &fields[0], &fields[1],
                       &fields[2], &fields[3], &fields[4], &fields[5], &tail) == 6;
}

// Every file of a trash, by its original path (as written in its info), with its contents.
std::map<std::string, std::string> TrashContents(const std::string& trash) {
    std::map<std::string, std::string> contents;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(trash + "/info", error)) {
        const std::string name = entry.path().stem().string();
        const TrashInfo info = ReadTrashInfo(entry.path().string());
        EXPECT_TRUE(IsDeletionDate(info.deletionDate)) << info.deletionDate;
        contents[info.path] = test::ReadTextFile(trash + "/files/" + name);
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
