#pragma once

#include <string>
#include <vector>

namespace sonaro {

// The recordings being written, kept in a file of the per-user data folder so that the start
// after a crash, a kill or a power loss finds the files that were cut off. Each path is a record
// ending in a NUL byte (paths may hold any other byte). A change writes a new file, syncs it and
// renames it into place, so a crash leaves the old list or the new one. One instance of the
// program uses the file.
class RecordingJournal {
  public:
    static constexpr const char* kFileName = "recordings.journal";

    // An empty path keeps no journal: every call succeeds and nothing is listed.
    explicit RecordingJournal(std::string path) : m_path(std::move(path)) {}

    // Adds `recording` unless it is listed; false when it could not be stored.
    bool Add(const std::string& recording);
    // Takes `recording` off the list; false when the file could not be rewritten.
    bool Remove(const std::string& recording);
    // The listed recordings, oldest first; none when the file is missing or unreadable.
    std::vector<std::string> Entries() const;
    // Empties the list (removes the file).
    bool Clear();

  private:
    bool rewrite(const std::vector<std::string>& entries);

    std::string m_path;
};

}  // namespace sonaro
