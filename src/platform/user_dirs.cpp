#include "platform/user_dirs.h"

#include <fstream>

namespace sonaro {
namespace {

// A value of user-dirs.dirs: "$HOME/rest" or "/absolute", in double quotes.
std::string expandValue(std::string value, const std::string& home) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return {};
    }
    value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) {
        value = home + value.substr(5);
    }
    while (value.size() > 1 && value.back() == '/') {
        value.pop_back();
    }
    return value.empty() || value.front() != '/' ? std::string() : value;
}

}  // namespace

std::string FindDocumentsFolder(const ProgramPaths& paths) {
    static constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    std::string found;
    std::ifstream file(paths.configHome + "/user-dirs.dirs");
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(kKey, 0) == 0) {
            found = expandValue(line.substr(kKey.size()), paths.home);
        }
    }
    if (found.empty() || found == paths.home) {
        return paths.home + "/Documents";
    }
    return found;
}

}  // namespace sonaro
