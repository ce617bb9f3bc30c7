#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

namespace sonaro {

// True when `word` is the command option `option` (given in lower case), in any letter case.
inline bool IsOption(std::string_view word, std::string_view option) {
    return word.size() == option.size() &&
           std::equal(word.begin(), word.end(), option.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

}  // namespace sonaro
