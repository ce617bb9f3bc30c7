#include "formats/audio_file_opener.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "formats/aiff_reader.h"
#include "formats/au_reader.h"
#include "formats/codec_manager.h"
#include "formats/flac_reader.h"
#include "formats/mp3_reader.h"
#include "formats/raw_reader.h"
#include "formats/read_only_file.h"
#include "formats/temporary_wav_decoder.h"
#include "formats/wav_reader.h"
#include "support/function_job.h"
#include "support/prompter.h"

namespace sonaro {

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

SourceRef OpenRecordingFile(const std::string& path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".wav") {
        return OpenWavFile(path, CodecManager());
    }
    if (extension == ".mp3") {
        return OpenMp3File(path);
    }
    if (extension == ".aiff" || extension == ".aif") {
        return OpenAiffFile(path);
    }
    if (extension == ".flac") {
        return OpenFlacFile(path);
    }
    return MakeSource<PlaceholderSource>(SourceStatus::NotSupported);
}

namespace {

RawFormat rawFormat(const AudioOpenOptions& options, bool vox) {
    if (options.settings != nullptr) {
        return LoadRawFormat(*options.settings, vox);
    }
    RawFormat format;
    if (vox) {
        format.sampleRate = 8000;
        format.codec = static_cast<int>(RawCodec::DialogicAdpcm);
    }
    return format;
}

bool isRawExtension(const std::string& extension) {
    return extension == ".vox" || extension == ".raw" || extension == ".snd" || extension == ".moh";
}

SourceRef openDirectly(const std::string& path, const std::string& extension,
                       const RawFormat& raw) {
    if (extension == ".au") {
        return OpenAuFile(path);
    }
    if (extension == ".gsm") {
        return OpenGsmFile(path);
    }
    if (isRawExtension(extension)) {
        return OpenRawFile(path, raw);
    }
    return OpenRecordingFile(path);
}

// What a failed or cancelled decoder left is of no use to anyone: it goes at once, not when a
// later open happens to pick its name.
void discardTemporary(OpenedAudio& opened) {
    ::unlink(opened.temporaryPath.c_str());
    opened.temporaryPath.clear();
}

}  // namespace

OpenedAudio OpenAudioFile(const std::string& path, const AudioOpenOptions& options) {
    OpenedAudio opened;
    const std::string extension = LowerExtension(path);
    RawFormat raw;
    if (isRawExtension(extension)) {
        const bool vox = extension == ".vox";
        raw = rawFormat(options, vox);
        if (options.chooseRawFormat && !options.chooseRawFormat(raw, vox)) {
            opened.result = OpenResult::Cancelled;
            return opened;
        }
    }
    opened.source = openDirectly(path, extension, raw);
    const SourceStatus direct = opened.source->status();
    if (direct == SourceStatus::Usable || direct == SourceStatus::CannotOpen) {
        return opened;
    }
    // Only a regular file goes to the decoder: it would wait for ever on a FIFO.
    if (!ReadOnlyFile().Open(path)) {
        opened.source = MakeSource<PlaceholderSource>(SourceStatus::CannotOpen);
        return opened;
    }
    if (options.decoderPath.empty() || HasNoDecoder(extension)) {
        return opened;
    }
    opened.temporaryPath = ChooseTemporaryWavPath(options.temporaryFolder);
    if (opened.temporaryPath.empty()) {
        opened.decoderFailed = true;
        opened.decoderError = "no temporary file name is free in " + options.temporaryFolder;
        return opened;
    }
    if (options.decodingStarted) {
        options.decodingStarted(DecodingTitle(extension));
    }
    DecodeResult result = DecodeResult::Cancelled;
    if (options.prompter != nullptr && options.dispatcher != nullptr) {
        // A job cancelled before its body ran leaves the result Cancelled.
        FunctionJob job(*options.dispatcher, [&](LProgressReporter& worker) {
            result = DecodeToWav(options.decoderPath, path, opened.temporaryPath,
                                 &worker.stopEvent(), opened.decoderError);
        });
        options.prompter->RunWithProgress(DecodingTitle(extension), job);
    } else {
        result = DecodeToWav(options.decoderPath, path, opened.temporaryPath, options.stop,
                             opened.decoderError);
    }
    if (result == DecodeResult::Cancelled) {
        // The decoder has been killed and reaped: nothing writes the partial file any more.
        discardTemporary(opened);
        opened.result = OpenResult::Cancelled;
        opened.source.reset();
        return opened;
    }
    SourceRef decoded = result == DecodeResult::Ok
                            ? OpenWavFile(opened.temporaryPath, CodecManager())
                            : SourceRef();
    if (decoded->isUnusable()) {
        discardTemporary(opened);
        opened.decoderFailed = true;
        if (opened.decoderError.empty()) {
            opened.decoderError = "the decoder wrote no readable WAV file";
        }
        return opened;  // the direct reader's status stays
    }
    opened.source = decoded;
    return opened;
}

}  // namespace sonaro
