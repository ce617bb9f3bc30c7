#pragma once

#include <string>
#include <string_view>

namespace sonaro {

class Event;

// The progress title for decoding a file of `extension` (lower case, with its dot) through a
// temporary WAV file: "Loading file" for the formats of installable decoder programs, "Loading
// AMR file", "Loading WMA file" and so on, "Loading with DirectX" for any other extension.
std::string_view DecodingTitle(std::string_view extension);

// True for the extensions whose loaders are not there (".dct", ".dart", ".cda"): no outside
// program decodes them.
bool HasNoDecoder(std::string_view extension);

// "<folder>/Temp<n>.wav" with the first n from 1 for which no such file exists or the existing
// one could be deleted; empty when none of the first 10000 is free.
std::string ChooseTemporaryWavPath(const std::string& folder);

enum class DecodeResult { Ok, Cancelled, Failed };

// Turns `input` into a 16-bit PCM WAV file at `output` with the outside decoder program
// `decoderPath` (ffmpeg's command line). Waits for it to end; a set `stop` kills it and gives
// Cancelled. Failed when the program cannot start or ends with an error; `error` then says why.
DecodeResult DecodeToWav(const std::string& decoderPath, const std::string& input,
                         const std::string& output, const Event* stop, std::string& error);

}  // namespace sonaro
