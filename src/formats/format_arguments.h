#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/format_settings.h"

namespace sonaro {

// The format named by a command-line word: "wav", "mp3", "aif", "aiff", "flac", "opus" in any
// case.
std::optional<OutputFormat> FormatFromWord(std::string_view word);

// The format of a path's extension (".wav", ".mp3", ".aif", ".aiff", ".flac", ".opus", any
// case); nothing for other extensions.
std::optional<OutputFormat> FormatFromPath(std::string_view path);

// Applies the command-line options of `format` that start at args[next] and moves `next` past
// the words they used (FLAC: "-s rate -m channels -b bits"; Opus: "-b kbit/s -m channels"). Options
// are read in a fixed order of slots, compared without regard to case:
// - a value slot ("-s 44100") always uses two words; when the first is not the expected option
//   the value is not taken (WAV and AIFF count it as 0, MP3 keeps the stored value);
// - an optional flag ("-h", "-p", and the choice "-cbr" / "-vbr") uses its word only when it
//   matches, so a missing optional flag at the end of the list is no error.
// When the words run out before a value slot is complete, nothing is saved, `next` is left as it
// was (so "-recordfile a.wav -ms 3000" keeps its "-ms") and the result is Incomplete. SaveFailed
// when the WAV format file could not be written; RateRefused, with nothing saved, for a sample
// rate other than 0 (the default) outside kMinSampleRate..kMaxSampleRate (the words are used in
// both cases).
enum class FormatArgumentsResult { Applied, Incomplete, SaveFailed, RateRefused };

FormatArgumentsResult ApplyFormatArguments(FormatSettings& settings, OutputFormat format,
                                           const std::vector<std::string>& args, std::size_t& next);

// Decimal leading digits ("44100Hz" gives 44100, "x" and "-5" give 0), saturating.
unsigned long ParseLeadingDigits(std::string_view text);

}  // namespace sonaro
