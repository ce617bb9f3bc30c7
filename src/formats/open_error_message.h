#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/audio_source.h"
#include "support/prompter.h"

namespace sonaro {

class CodecManager;

// What the user is told when a file gives no usable source.
struct OpenErrorFacts {
    std::string path;
    SourceStatus status = SourceStatus::NotSupported;
    // The WAV file's format tag, when known (a missing codec is named by it).
    std::optional<std::uint16_t> wavFormatTag;
    // The outside decoder ran but gave no usable file.
    bool decoderFailed = false;
    std::string temporaryFolder;
    // Pages pointed to after some messages; nothing is added for an empty one.
    std::string supportedFormatsPage;
    std::string codecPage;
    // After the MIDI message: where the media framework that renders MIDI files is had.
    std::string mediaFrameworkPage;
};

struct OpenedAudio;

// The facts of an open that gave no usable source: its status, whether the decoder failed and,
// for a WAV file whose codec is missing, the format tag read from the file.
OpenErrorFacts OpenErrorFactsFor(const std::string& path, const OpenedAudio& opened,
                                 const std::string& temporaryFolder);

// The message by status and extension: no access, then the extension's own message (a missing
// WAV codec, MP3, MIDI, a failed decoder program, WMA, the recorder plug-in formats), then
// corrupt, else not supported.
std::string OpenErrorMessage(const OpenErrorFacts& facts, const CodecManager& codecs);

// Shows OpenErrorMessage in an error box titled "Cannot Open File".
void ShowOpenError(Prompter& prompter, const OpenErrorFacts& facts, const CodecManager& codecs);

}  // namespace sonaro
