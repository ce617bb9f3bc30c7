#pragma once

#include <string>

#include "platform/program_paths.h"

namespace sonaro {

// The user's documents folder as xdg-user-dirs records it ("XDG_DOCUMENTS_DIR" in
// <configHome>/user-dirs.dirs); "<home>/Documents" when it is not recorded, is disabled (set to
// the home folder itself) or is not an absolute path. Nothing is created.
std::string FindDocumentsFolder(const ProgramPaths& paths);

}  // namespace sonaro
