#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonaro {

// One line of a LIST answer.
struct FtpListingEntry {
    std::string name;
    // A symbolic link's target ("name -> target"); empty otherwise.
    std::string linkTarget;
    std::uint64_t size = 0;
    bool isDirectory = false;
    // The date and time as listed: Unix "Dec", "6", "20:31" (or a year); DOS "12-06-26", "08:31PM".
    std::string month;
    std::string day;
    std::string timeOrYear;
};

// Parses a Unix style line ("-rw-r--r-- 1 owner group 1234 Dec  6 20:31 name") or, failing that,
// a DOS style line ("12-06-26  08:31PM  1,234 name" or with "<DIR>"). Names keep their inner
// blanks. False when the line is neither.
bool ParseListingLine(std::string_view line, FtpListingEntry& entry);

}  // namespace sonaro
