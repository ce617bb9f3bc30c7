#include "formats/open_error_message.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>

#include "formats/audio_file_opener.h"
#include "formats/codec_manager.h"
#include "formats/wav_reader.h"

namespace sonaro {
namespace {

constexpr std::array<std::string_view, 10> kDecoderProgramExtensions = {
    ".ogg", ".flac", ".aac", ".m4a", ".mp4", ".act", ".rec", ".rcd", ".shn", ".mpc"};

// Puts `path` (and `second`) where the message's %s stand.
std::string format(std::string_view text, const std::string& path, const std::string& second = {}) {
    std::string out;
    bool first = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += first ? path : second;
            first = false;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string withPage(std::string message, const std::string& page) {
    if (!page.empty()) {
        message += "\n\n" + page;
    }
    return message;
}

std::string codecName(const CodecManager& codecs, std::uint16_t tag) {
    for (const CodecDriverDetails& driver : codecs.Drivers()) {
        for (const CodecFormatTagDetails& details : codecs.FormatTags(driver.driverId)) {
            if (details.formatTag == tag) {
                return details.name;
            }
        }
    }
    return {};
}

bool isOneOf(const std::string& extension, std::initializer_list<std::string_view> list) {
    for (const std::string_view item : list) {
        if (extension == item) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string OpenErrorMessage(const OpenErrorFacts& facts, const CodecManager& codecs) {
    const std::string extension = LowerExtension(facts.path);
    const std::string& path = facts.path;
    if (facts.status == SourceStatus::CannotOpen) {
        return format("Cannot open the file \"%s\". Check it exists and you have read access.",
                      path);
    }
    if (extension == ".wav" && facts.status == SourceStatus::CodecMissing) {
        const std::string name =
            facts.wavFormatTag.has_value() ? codecName(codecs, *facts.wavFormatTag) : "";
        if (name.empty()) {
            return format(
                "Cannot open the file \"%s\" because it is using an unknown codec or is "
                "possibly not a real wave file.",
                path);
        }
        return withPage(format("Cannot open the file \"%s\" because the codec it needs (%s) is "
                               "not installed.",
                               path, name),
                        facts.codecPage);
    }
    if (extension == ".mp3") {
        return format(
            "Cannot open the file \"%s\". It is possibly either corrupt or not a true layer-3 MPEG "
            "file.",
            path);
    }
    if (extension == ".mid") {
        return withPage(
            "Unable to decode MIDI file - it is possible you may be using an old version of "
            "DirectX. Go to Start -> Run -> type \"dxdiag\" to check your version - version 9.0 "
            "or later is required.",
            facts.mediaFrameworkPage);
    }
    if (facts.decoderFailed &&
        std::find(kDecoderProgramExtensions.begin(), kDecoderProgramExtensions.end(), extension) !=
            kDecoderProgramExtensions.end()) {
        return format(
            "The decoder process failed when decompressing the file \"%s\" to wave "
            "format. It is possible your logon account does not have write access to "
            "the folder \"%s\"",
            path, facts.temporaryFolder);
    }
    if (extension == ".wma") {
        return format(
            "Cannot open file \"%s\". It is possible that the file is protected with "
            "Digital Rights Management (DRM) which limits where the audio file can be "
            "used.",
            path);
    }
    if (isOneOf(extension, {".msv", ".dvf"})) {
        return format(
            "Cannot open the file \"%s\". It is possible you do not have the Sony plugin "
            "installed or your recorder is not supported.",
            path);
    }
    if (facts.status == SourceStatus::Corrupt) {
        return format("Cannot open the file \"%s\" because it is corrupt.", path);
    }
    return withPage(format("Cannot open the file \"%s\". It is possible the file format is not "
                           "supported by this program.",
                           path),
                    facts.supportedFormatsPage);
}

OpenErrorFacts OpenErrorFactsFor(const std::string& path, const OpenedAudio& opened,
                                 const std::string& temporaryFolder) {
    OpenErrorFacts facts;
    facts.path = path;
    facts.status = opened.source->status();
    facts.decoderFailed = opened.decoderFailed;
    facts.temporaryFolder = temporaryFolder;
    if (facts.status == SourceStatus::CodecMissing && LowerExtension(path) == ".wav") {
        facts.wavFormatTag = ReadWavFormatTag(path);
    }
    return facts;
}

void ShowOpenError(Prompter& prompter, const OpenErrorFacts& facts, const CodecManager& codecs) {
    const std::string text = OpenErrorMessage(facts, codecs);
    prompter.ShowMessage({text, "Cannot Open File", PromptButtons::Ok, PromptIcon::Error});
}

}  // namespace sonaro
