#include "formats/audio_file_opener.h"

#include <algorithm>
#include <cctype>

#include "formats/aiff_reader.h"
#include "formats/au_reader.h"
#include "formats/codec_manager.h"
#include "formats/mp3_reader.h"
#include "formats/raw_reader.h"
#include "formats/wav_reader.h"

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
    return MakeSource<PlaceholderSource>(SourceStatus::NotSupported);
}

SourceRef OpenAudioFile(const std::string& path, const SettingsStore& settings) {
    const std::string extension = LowerExtension(path);
    if (extension == ".au") {
        return OpenAuFile(path);
    }
    if (extension == ".gsm") {
        return OpenGsmFile(path);
    }
    if (extension == ".vox") {
        return OpenRawFile(path, LoadRawFormat(settings, true));
    }
    if (extension == ".raw" || extension == ".snd" || extension == ".moh") {
        return OpenRawFile(path, LoadRawFormat(settings, false));
    }
    return OpenRecordingFile(path);
}

}  // namespace sonaro
