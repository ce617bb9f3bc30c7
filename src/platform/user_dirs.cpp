#include "platform/user_dirs.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "support/open_file_with_retry.h"

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

// The whole file, or nothing when it is missing or no regular file: a FIFO put in its place
// must not hold up the start.
std::string readRegularFile(const std::string& path) {
    const FileHandle file = OpenFileWithRetry(path, FileAccess::Read, FileShare::Read,
                                              FileDisposition::OpenExisting, 0);
    std::string text;
    char buffer[4096];
    for (ssize_t got = 0; file.valid() && (got = ::read(file.fd(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno != EINTR) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    return text;
}

}  // namespace

std::string FindDocumentsFolder(const ProgramPaths& paths) {
    static constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    std::string found;
    std::istringstream file(readRegularFile(paths.configHome + "/user-dirs.dirs"));
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
