#include "net/ftp_listing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "net/wire_number.h"

namespace sonaro {
namespace {

constexpr std::string_view kUnixTypes = "bcdlps-";
constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};

struct Token {
    std::string_view text;
    std::size_t end;
};

// The first `count` blank-separated tokens, each with the position just after it.
std::vector<Token> tokens(std::string_view line, std::size_t count) {
    std::vector<Token> out;
    std::size_t at = 0;
    while (out.size() < count) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', at), line.size());
        out.push_back({line.substr(at, end - at), end});
        at = end;
    }
    return out;
}

bool isMonth(std::string_view text) {
    if (text.size() != 3) {
        return false;
    }
    std::string lower;
    for (const char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const std::string_view month : kMonths) {
        if (lower == month) {
            return true;
        }
    }
    return false;
}

bool parseNumber(std::string_view text, std::uint64_t& value, bool allowCommas) {
    if (!allowCommas) {
        return ParseWireNumber(text, UINT64_MAX, value);
    }
    std::string digits(text);
    std::erase(digits, ',');
    return ParseWireNumber(digits, UINT64_MAX, value);
}

std::string_view restAfter(std::string_view line, std::size_t position) {
    const std::size_t start = line.find_first_not_of(' ', position);
    return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

bool parseUnix(std::string_view line, FtpListingEntry& entry) {
    if (line.size() < 10 || kUnixTypes.find(line[0]) == std::string_view::npos) {
        return false;
    }
    const std::vector<Token> parts = tokens(line, 9);
    // The month follows the size; owner and group may be one or two columns.
    for (std::size_t m = 3; m + 2 < parts.size(); ++m) {
        std::uint64_t size = 0;
        if (!isMonth(parts[m].text) || !parseNumber(parts[m - 1].text, size, false)) {
            continue;
        }
        std::string_view name = restAfter(line, parts[m + 2].end);
        if (name.empty()) {
            return false;
        }
        entry = FtpListingEntry{};
        entry.isDirectory = line[0] == 'd';
        entry.size = size;
        entry.month = std::string(parts[m].text);
        entry.day = std::string(parts[m + 1].text);
        entry.timeOrYear = std::string(parts[m + 2].text);
        const std::size_t arrow = line[0] == 'l' ? name.find(" -> ") : std::string_view::npos;
        if (arrow != std::string_view::npos) {
            entry.linkTarget = std::string(name.substr(arrow + 4));
            name = name.substr(0, arrow);
        }
        entry.name = std::string(name);
        return true;
    }
    return false;
}

bool parseDos(std::string_view line, FtpListingEntry& entry) {
    const std::vector<Token> parts = tokens(line, 3);
    if (parts.size() < 3 || parts[0].text.size() < 8 ||
        std::isdigit(static_cast<unsigned char>(parts[0].text[0])) == 0) {
        return false;
    }
    FtpListingEntry parsed;
    parsed.month = std::string(parts[0].text);
    parsed.timeOrYear = std::string(parts[1].text);
    parsed.isDirectory = parts[2].text == "<DIR>";
    if (!parsed.isDirectory && !parseNumber(parts[2].text, parsed.size, true)) {
        return false;
    }
    parsed.name = std::string(restAfter(line, parts[2].end));
    if (parsed.name.empty()) {
        return false;
    }
    entry = std::move(parsed);
    return true;
}

}  // namespace

bool ParseListingLine(std::string_view line, FtpListingEntry& entry) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return parseUnix(line, entry) || parseDos(line, entry);
}

}  // namespace sonaro
