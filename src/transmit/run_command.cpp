#include "transmit/run_command.h"

namespace sonaro {

std::optional<std::vector<std::string>> SplitShellWords(std::string_view commandLine,
                                                        std::string& problem) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t end = commandLine.find('\'', i + 1);
            if (end == std::string_view::npos) {
                problem = "a single quote is not closed";
                return std::nullopt;
            }
            word.append(commandLine.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < commandLine.size() && commandLine[j] != '"'; ++j) {
                const char next = j + 1 < commandLine.size() ? commandLine[j + 1] : '\0';
                if (commandLine[j] == '\\' &&
                    (next == '"' || next == '\\' || next == '$' || next == '`')) {
                    ++j;
                }
                word.push_back(commandLine[j]);
            }
            if (j >= commandLine.size()) {
                problem = "a double quote is not closed";
                return std::nullopt;
            }
            i = j;
        } else if (c == '\\') {
            if (i + 1 >= commandLine.size()) {
                problem = "the line ends in a backslash";
                return std::nullopt;
            }
            word.push_back(commandLine[++i]);
        } else {
            word.push_back(c);
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<std::vector<std::string>> BuildRunArguments(std::string_view pattern,
                                                          const std::string& recordingPath,
                                                          std::string& problem) {
    auto words = SplitShellWords(pattern, problem);
    if (!words) {
        return std::nullopt;
    }
    if (words->empty()) {
        problem = "no program is given";
        return std::nullopt;
    }
    for (std::string& word : *words) {
        std::string expanded;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == 's') {
                expanded += recordingPath;
                ++i;
            } else {
                expanded.push_back(word[i]);
            }
        }
        word = std::move(expanded);
    }
    return words;
}

}  // namespace sonaro
