#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// Splits `commandLine` into words the way a POSIX shell quotes, without any expansion: blanks
// and tabs separate words; '...' keeps everything literally; "..." keeps everything but a
// backslash before '"', '\\', '$' or '`'; outside quotes a backslash keeps the next character.
// Nothing when a quote is not closed or the line ends in a lone backslash (`problem` says which).
std::optional<std::vector<std::string>> SplitShellWords(std::string_view commandLine,
                                                        std::string& problem);

// The argument vector of the run-program method: "SendRunExe" split into words, each "%s" inside
// a word replaced by `recordingPath` (which thus stays one argument whatever it holds); any other
// '%' stays as written. A pattern without "%s" runs as written, without the path.
std::optional<std::vector<std::string>> BuildRunArguments(std::string_view pattern,
                                                          const std::string& recordingPath,
                                                          std::string& problem);

}  // namespace sonaro
