#include "platform/xdg_page_opener.h"

#include "threads/child_process.h"

namespace sonaro {

bool XdgPageOpener::OpenPage(const std::string& address) {
    const std::string program = FindProgramOnPath("xdg-open");
    if (program.empty() || address.empty()) {
        return false;
    }
    ChildProcess child;
    SpawnOptions options;
    options.argv = {program, address};
    if (!child.start(options)) {
        return false;
    }
    child.detach();
    return true;
}

}  // namespace sonaro
