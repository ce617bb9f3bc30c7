#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// Makes the value after each "-recordfile" and "-outdir" in args[1..] (options in any case)
// absolute against `folder`, since the running instance that receives them works in its own
// folder. Absolute and empty values stay as they are; the value of "-ms" is skipped like the
// receiver skips it. False, with the first such value in `unresolved`, when a relative value
// meets an empty `folder`; `args` is then unchanged.
bool MakePathOptionsAbsolute(std::vector<std::string>& args, std::string_view folder,
                             std::string* unresolved = nullptr);

// This process's working folder; empty, with errno set, when it cannot be found (removed, or
// longer than PATH_MAX).
std::string WorkingFolder();

}  // namespace sonaro
