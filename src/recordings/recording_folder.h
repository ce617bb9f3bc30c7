#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// The extensions the recordings list shows, in the order their files are listed.
inline constexpr std::array<std::string_view, 5> kRecordingExtensions = {".wav", ".mp3", ".aiff",
                                                                         ".aif", ".flac"};

// An entry of the recordings folder with a recording's extension.
struct RecordingFile {
    std::string path;
    std::string name;    // before the last "."
    std::string format;  // the extension with its dot, in the case found on disk
    std::uint64_t size = 0;
    // The birth time when the file system records it, else the last modification.
    std::time_t created = 0;
    // The modification time in nanoseconds, for telling a changed file from the one measured.
    std::int64_t modifiedNs = 0;
    // False for a FIFO, a device or a socket (or a link to one): listed, never opened.
    bool regular = true;
};

// The entries directly in `folder` (no sub-folders) whose extension is one of the list's,
// compared without regard to ASCII case: all ".wav" files by name, then ".mp3", ".aiff", ".aif",
// ".flac".
// Symbolic links count as what they point at; folders and dangling links are left out. FIFOs,
// devices and sockets are listed as not `regular`, so that they show as unreadable recordings
// without anything opening them. A folder that cannot be read lists nothing.
std::vector<RecordingFile> ListRecordingFiles(const std::string& folder);

// folder + "/" + name + format; no second "/" when the folder ends with one.
std::string RecordingPath(const std::string& folder, const std::string& name,
                          const std::string& format);

inline constexpr const char* kRenameFailedText =
    "Unable to rename file. Check if the file name is not already in use.";
inline constexpr const char* kRenameFailedTitle = "Warning";

enum class RenameResult {
    Renamed,
    InvalidName,  // empty, or holding "/" or NUL
    NameInUse,    // something of the new name exists: it is never replaced
    Failed,       // the file is gone, the folder is read-only, ...
};

// Renames the recording `oldName` + `format` in `folder` to `newName` + `format`. Renaming to
// the same name changes nothing and succeeds. Every result but Renamed is shown as
// kRenameFailedText, and the item keeps its old name.
RenameResult RenameRecording(const std::string& folder, const std::string& oldName,
                             const std::string& format, const std::string& newName);

}  // namespace sonaro
