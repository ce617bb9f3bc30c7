#include "app/forward_paths.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>

namespace sonaro {
namespace {

bool is(std::string_view word, std::string_view option) {
    return word.size() == option.size() &&
           std::equal(word.begin(), word.end(), option.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

}  // namespace

bool MakePathOptionsAbsolute(std::vector<std::string>& args, std::string_view folder,
                             std::string* unresolved) {
    std::vector<std::string> result = args;
    for (std::size_t i = 1; i + 1 < result.size(); ++i) {
        const std::string& option = result[i];
        if (is(option, "-ms")) {
            ++i;
            continue;
        }
        if (!is(option, "-recordfile") && !is(option, "-outdir")) {
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
