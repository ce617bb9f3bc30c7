#include "recordings/speech_keywords.h"

#include <algorithm>
#include <cstdio>

namespace sonaro {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool MatchesKeyword(std::string_view word, std::string_view keyword) {
    return EqualNoCase(word, keyword) ||
           (word.size() == keyword.size() + 2 && EqualNoCase(word.substr(0, 2), "UH") &&
            EqualNoCase(word.substr(2), keyword));
}

}  // namespace

std::vector<std::string> SplitKeywords(std::string_view text) {
    std::vector<std::string> keywords;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(";, ", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            keywords.emplace_back(text.substr(start, std::min(end - start, kKeywordLimit)));
        }
        start = end + 1;
    }
    return keywords;
}

std::vector<int> MatchPhrase(std::string_view phrase, const std::vector<std::string>& keywords) {
    std::vector<int> hits;
    std::size_t start = 0;
    while (start < phrase.size()) {
        std::size_t end = start;
        while (end < phrase.size() && static_cast<unsigned char>(phrase[end]) > 32) {
            ++end;
        }
        const std::string_view word = phrase.substr(start, end - start);
        for (std::size_t k = 0; !word.empty() && k < keywords.size(); ++k) {
            if (MatchesKeyword(word, keywords[k])) {
                hits.push_back(static_cast<int>(k));
                break;
            }
        }
        start = end + 1;
    }
    return hits;
}

std::string FoundTimeText(std::int64_t ms) {
    const std::int64_t magnitude = ms < 0 ? -ms : ms;
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld:%.2lld:%.2lld.%.1lld", ms < 0 ? "-" : "",
                  static_cast<long long>(magnitude / 3600000),
                  static_cast<long long>(magnitude / 60000 % 60),
                  static_cast<long long>(magnitude / 1000 % 60),
                  static_cast<long long>(magnitude % 1000 / 100));
    return text;
}

std::string AppendFoundTime(const std::string& times, const std::string& time) {
    return times.empty() ? time : times + ", " + time;
}

std::vector<std::int64_t> ParseFoundTimes(std::string_view text) {
    std::vector<std::int64_t> times;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(", ", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string piece(text.substr(start, end - start));
        long long hours = 0;
        int minutes = 0;
        int seconds = 0;
        int tenths = 0;
        int used = 0;
        const bool negative = !piece.empty() && piece[0] == '-';
        if (std::sscanf(piece.c_str() + (negative ? 1 : 0), "%lld:%d:%d.%1d%n", &hours, &minutes,
                        &seconds, &tenths, &used) == 4 &&
            static_cast<std::size_t>(used) + (negative ? 1 : 0) == piece.size()) {
            const std::int64_t ms = ((hours * 60 + minutes) * 60 + seconds) * 1000 + tenths * 100;
            times.push_back(negative ? -ms : ms);
        }
        start = end + 2;
    }
    return times;
}

std::string SpeechSearchCompleteText(int found, const std::string& keywords) {
    if (found == 0) {
        return "Speech Search Complete. No Recordings were found with the keywords ('" + keywords +
               "').";
    }
    if (found == 1) {
        return "Speech Search Complete. 1 Recording was found with the keyword('" + keywords +
               "').";
    }
    return "Speech Search Complete. " + std::to_string(found) +
           " Recordings were found with keyword('" + keywords + "').";
}

}  // namespace sonaro
