#pragma once

#include <sys/statvfs.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_store.h"
#include "support/clock.h"

namespace sonaro {

class Prompter;

// Result of `CleanFileName`: the name without forbidden characters.
struct CleanedName {
    std::string name;
    bool valid = false;  // false when nothing is left
};

// What the main window shows after a free-space check.
struct FreeSpaceReport {
    bool checked = false;       // false when the output folder does not exist: show nothing
    std::uint32_t freeKb = 0;   // space available to the user, saturating near 4 TB
    std::uint32_t totalKb = 0;  // the volume's size, same saturation
    std::string statusText;     // "Space Remaining: ... MB"
    double usedFraction = 0.0;  // for the disk-space bar, 0.0 to 1.0
    bool belowLimit = false;    // show the low-space balloon
};

inline constexpr std::string_view kLowSpaceBalloon =
    "Your free disk space is under the specified limit. Please delete some of the files to make "
    "more space.";
inline constexpr std::string_view kInvalidFormatTitle = "Invalid format";

// Removes characters below 0x20 and < > " * . / : ? \ | from `text`.
CleanedName CleanFileName(std::string_view text);

// The folder, a '/' unless the folder already ends in '/' or '\', the name and the extension.
// Never cut: a path the system cannot take fails where the file is made (see PathLengthRefusal).
std::string BuildRecordingPath(std::string_view folder, std::string_view name,
                               std::string_view extension);

// The longest path (PATH_MAX less its NUL) and the longest part of a path the system takes.
inline constexpr std::size_t kMaxPathBytes = PATH_MAX - 1;
inline constexpr std::size_t kMaxNameBytes = NAME_MAX;

// Why the system cannot take `path`, as a sentence to show; empty when it can. A path of more
// than kMaxPathBytes bytes, or with a part of more than kMaxNameBytes, is refused whole: cut, it
// would name another file.
std::string PathLengthRefusal(std::string_view path);

// The kilobyte count the free-space check uses: (high 32 bits, at most 1023) * 2^22 plus the low
// 32 bits / 1024.
std::uint32_t KilobytesOf(std::uint64_t bytes);

// The Output page's pattern rules. False with the message to show (title kInvalidFormatTitle)
// when the pattern is refused.
bool ValidateFileNamePattern(std::string_view pattern, std::string* message = nullptr);

// Names of new recordings, the output folder and the free-space check.
//
// Used on the user-interface thread. Reads and writes its settings through `settings`.
class FileNaming {
  public:
    using StatVfsFunction = std::function<int(const char* path, struct statvfs* info)>;

    // `documentsFolder` is the user's documents folder; the default recordings folder is
    // "<documentsFolder>/Sonaro". `statVfs` queries a volume (statvfs outside tests).
    FileNaming(SettingsStore& settings, const Clock& clock, std::string documentsFolder,
               StatVfsFunction statVfs = nullptr);

    // "<documents>/Sonaro", created on the first call and reused afterwards.
    const std::string& DefaultRecordingsFolder();
    // "DefaultRecordFolder" of "FindPlay", the default recordings folder when unset.
    std::string GetOutputFolder();
    // ".wav", ".mp3" or ".aif" by "Format" (anything unknown is WAV).
    std::string CurrentExtension() const;

    // Expands the name pattern with one local time for all fields. With "%autonumber%" the
    // counter "AutoNumber" advances once per use and names that exist already are skipped.
    std::string ExpandFileNamePattern(std::string_view pattern);
    // True when the output folder holds a file or folder of that name and the current extension.
    bool RecordingExists(std::string_view name);

    FreeSpaceReport CheckFreeSpace();
    // False only when the volume of `folder` reports no space left for the user (the folder
    // picker then asks for another); a volume that cannot be queried counts as having space.
    bool FolderHasFreeSpace(const std::string& folder) const;

    // The Output page's folder rules: asks whether to create a missing folder (one level only)
    // and shows every refusal through `prompter`. True when the folder exists afterwards.
    bool ValidateOutputFolder(std::string_view folder, Prompter& prompter);

  private:
    // One pass over the pattern; sets `usedCounter` when "%autonumber%" occurred.
    std::string expandOnce(std::string_view pattern, const std::tm& time, bool& usedCounter);
    std::string fieldValue(std::string_view field, const std::tm& time, bool& usedCounter);

    SettingsStore& m_settings;
    const Clock& m_clock;
    std::string m_documentsFolder;
    StatVfsFunction m_statVfs;
    std::optional<std::string> m_defaultFolder;
};

}  // namespace sonaro
