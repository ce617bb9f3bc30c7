#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// Keywords are kept to this many characters.
inline constexpr std::size_t kKeywordLimit = 259;

// The keyword field split at every ";", "," and space, empty pieces dropped, each piece cut to
// kKeywordLimit characters, in their order.
std::vector<std::string> SplitKeywords(std::string_view text);

// For each word of the phrase (split at characters up to 32) the index of the first keyword it
// matches: the keyword itself or "UH" and the keyword, without regard to ASCII case. Words that
// match nothing give nothing, so the result holds one entry per hit.
std::vector<int> MatchPhrase(std::string_view phrase, const std::vector<std::string>& keywords);

// "h:mm:ss.t" of a found time (tenths truncated; a minus sign before a negative time).
std::string FoundTimeText(std::int64_t ms);
// `times` with `time` added after ", ".
std::string AppendFoundTime(const std::string& times, const std::string& time);

// The times of a "Keyword Found at Time" text, in its order; pieces that are no found time are
// left out.
std::vector<std::int64_t> ParseFoundTimes(std::string_view text);

// The status text when a search is complete: `found` recordings held a keyword of `keywords`.
std::string SpeechSearchCompleteText(int found, const std::string& keywords);

}  // namespace sonaro
