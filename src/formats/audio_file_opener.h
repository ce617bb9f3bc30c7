#pragma once

#include <string>

#include "audio/audio_source.h"

namespace sonaro {

class SettingsStore;

// The quick opener of the program's own recording formats, chosen by the extension without
// regard to case: ".wav" WAV, ".mp3" MPEG audio, ".aiff" and ".aif" AIFF; any other extension
// gives an unusable placeholder (NotSupported). No dialogs, no temporary files, no messages.
SourceRef OpenRecordingFile(const std::string& path);

// Every format read directly, by extension without regard to case: the recording formats, ".au",
// ".gsm" (raw GSM frames), ".vox" (the "VoxAudio" raw format) and ".raw", ".snd", ".moh" (the
// "RawAudio" raw format). Other extensions, whose decoding goes through a temporary WAV file,
// give NotSupported here.
SourceRef OpenAudioFile(const std::string& path, const SettingsStore& settings);

// The extension of `path` in lower case with its dot (".wav"); empty when it has none.
std::string LowerExtension(const std::string& path);

}  // namespace sonaro
