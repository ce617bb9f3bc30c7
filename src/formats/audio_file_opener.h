#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "audio/audio_source.h"
#include "formats/raw_reader.h"

namespace sonaro {

class Event;
class Prompter;
class UiDispatcher;
class SettingsStore;

// The quick opener of the program's own recording formats, chosen by the extension without
// regard to case: ".wav" WAV, ".mp3" MPEG audio, ".aiff" and ".aif" AIFF, ".flac" FLAC; any other
// extension gives an unusable placeholder (NotSupported). No dialogs, no temporary files, no
// messages.
SourceRef OpenRecordingFile(const std::string& path);

struct AudioOpenOptions {
    // The raw formats' settings ("VoxAudio", "RawAudio"); without them, their defaults.
    const SettingsStore* settings = nullptr;
    // The outside decoder program (ffmpeg's command line) for formats not read directly, run with
    // an argument vector (no shell): FindComponent(settings, "ffmpeg"), the registered component
    // or else ffmpeg on PATH. Empty: such files give NotSupported.
    std::string decoderPath;
    // Where "Temp<n>.wav" files are made.
    std::string temporaryFolder;
    // Set from another thread to cancel a decoding.
    const Event* stop = nullptr;
    // Called with the progress title when a decoding starts.
    std::function<void(std::string_view title)> decodingStarted;
    // With both, a decoding runs as a job behind the prompter's progress window, whose Cancel
    // kills the decoder and cancels the open.
    Prompter* prompter = nullptr;
    UiDispatcher* dispatcher = nullptr;
    // Asked for a raw file's format (the raw-format dialog) before it is read, starting from the
    // stored one (`vox` for ".vox" files); false cancels the open.
    std::function<bool(RawFormat& format, bool vox)> chooseRawFormat;
};

enum class OpenResult { Produced = 0, Cancelled = 1 };

struct OpenedAudio {
    OpenResult result = OpenResult::Produced;
    // Usable, or unusable with its status.
    SourceRef source;
    // The temporary WAV file decoded into; empty when the file was read directly, and when the
    // decoding failed or was cancelled (its partial file is deleted at once).
    std::string temporaryPath;
    // The decoder ran (or could not start) but gave no usable file; `decoderError` says why.
    bool decoderFailed = false;
    std::string decoderError;
};

// Every format: by extension without regard to case, the recording formats, ".au", ".gsm" (raw
// GSM frames), ".vox" (the "VoxAudio" raw format) and ".raw", ".snd", ".moh" (the "RawAudio" raw
// format) are read directly. When that gives no usable source, or for any other extension, the
// outside decoder turns the file into a temporary WAV file that is then read (the file stays
// until a later choice of a temporary name deletes it). A path that cannot be opened as a
// regular file (missing, no access, a FIFO, a device) gives CannotOpen before any decoder runs,
// so no decoder ever waits on a FIFO.
OpenedAudio OpenAudioFile(const std::string& path, const AudioOpenOptions& options);

// The extension of `path` in lower case with its dot (".wav"); empty when it has none.
std::string LowerExtension(const std::string& path);

}  // namespace sonaro
