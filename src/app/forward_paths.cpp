#include "app/forward_paths.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>

#include "app/option_word.h"

namespace sonaro {

bool MakePathOptionsAbsolute(std::vector<std::string>& args, std::string_view folder,
                             std::string* unresolved) {
    std::vector<std::string> result = args;
    for (std::size_t i = 1; i + 1 < result.size(); ++i) {
        const std::string& option = result[i];
        if (IsOption(option, "-ms")) {
            ++i;
            continue;
        }
        if (!IsOption(option, "-recordfile") && !IsOption(option, "-outdir")) {
            continue;
        }
        std::string& value = result[++i];
        if (value.empty() || value.front() == '/') {
            continue;
        }
        if (folder.empty()) {
            if (unresolved != nullptr) {
                *unresolved = value;
            }
            return false;
        }
        std::string absolute(folder);
        if (absolute.back() != '/') {
            absolute.push_back('/');
        }
        value = absolute + value;
    }
    args = std::move(result);
    return true;
}

std::string WorkingFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

}  // namespace sonaro
