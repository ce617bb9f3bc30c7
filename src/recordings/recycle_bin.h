#pragma once

#include <string>

namespace sonaro {

// The desktop's trash: files moved there can be restored by the file manager.
class RecycleBin {
  public:
    virtual ~RecycleBin() = default;
    // Moves the file at `path` (absolute) into the trash. False, with the reason in `error`,
    // when it stays where it was.
    virtual bool MoveToTrash(const std::string& path, std::string& error) = 0;
};

}  // namespace sonaro
