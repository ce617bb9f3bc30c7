#pragma once

#include <string>
#include <utility>

#include "recordings/recycle_bin.h"

namespace sonaro {

// The freedesktop.org trash (Trash standard 1.0): a file on the home trash's file system goes
// to "$XDG_DATA_HOME/Trash" (default ~/.local/share/Trash), a file on another mount to that
// mount's "$topdir/.Trash/$uid" (when ".Trash" is a sticky folder, not a link) or else
// "$topdir/.Trash-$uid". Each file gets "files/<name>" and "info/<name>.trashinfo" with its
// original path (percent-encoded; absolute in the home trash, relative to the top folder in a
// mount's) and the local deletion time, so file managers list and restore it.
//
// The info file is created first with O_EXCL, which reserves the name against other programs
// trashing at the same time; a file that cannot be renamed into the trash (a trash on another
// device) is left where it was.
class FreedesktopTrash final : public RecycleBin {
  public:
    // `dataHome` is $XDG_DATA_HOME (the home trash's parent).
    explicit FreedesktopTrash(std::string dataHome) : m_dataHome(std::move(dataHome)) {}

    bool MoveToTrash(const std::string& path, std::string& error) override;

  private:
    std::string m_dataHome;
};

}  // namespace sonaro
