#include "formats/temporary_wav_decoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "threads/child_process.h"
#include "threads/event.h"

namespace sonaro {
namespace {

constexpr int kMaxTemporaryNumber = 10000;
constexpr int kPollMs = 100;

struct TitleEntry {
    std::string_view extension;
    std::string_view title;
};

constexpr std::string_view kLoadingFile = "Loading file";
constexpr std::array<TitleEntry, 22> kTitles = {{
    {".dct", "Loading DCT file"},
    {".dart", "Loading PC Dart file"},
    {".ogg", kLoadingFile},
    {".flac", kLoadingFile},
    {".aac", kLoadingFile},
    {".m4a", kLoadingFile},
    {".mp4", kLoadingFile},
    {".act", kLoadingFile},
    {".rec", kLoadingFile},
    {".rcd", kLoadingFile},
    {".shn", kLoadingFile},
    {".mpc", kLoadingFile},
    {".ape", kLoadingFile},
    {".spx", kLoadingFile},
    {".amr", "Loading AMR file"},
    {".wma", "Loading WMA file"},
    {".dss", "Loading DSS file"},
    {".dvs", "Loading DVS file"},
    {".ra", "Loading RealAudio file"},
    {".ram", "Loading RealAudio file"},
    {".sri", "Loading SRI file"},
    {".cda", "Loading CD Track"},
}};

}  // namespace

std::string_view DecodingTitle(std::string_view extension) {
    if (extension == ".rm" || extension == ".rmj") {
        return "Loading RealAudio file";
    }
    for (const TitleEntry& entry : kTitles) {
        if (entry.extension == extension) {
            return entry.title;
        }
    }
    return "Loading with DirectX";
}

bool HasNoDecoder(std::string_view extension) {
    return extension == ".dct" || extension == ".dart" || extension == ".cda";
}

std::string ChooseTemporaryWavPath(const std::string& folder) {
    for (int n = 1; n <= kMaxTemporaryNumber; ++n) {
        const std::string path = folder + "/Temp" + std::to_string(n) + ".wav";
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
            return path;
        }
        if (::unlink(path.c_str()) == 0) {
            return path;
        }
    }
    return {};
}

DecodeResult DecodeToWav(const std::string& decoderPath, const std::string& input,
                         const std::string& output, const Event* stop, std::string& error) {
    ChildProcess decoder;
    SpawnOptions options;
    options.argv = {decoderPath, "-nostdin", "-v",        "error", "-y",  "-i",  input,
                    "-vn",       "-c:a",     "pcm_s16le", "-f",    "wav", output};
    if (!decoder.start(options)) {
        error = decoder.errorText();
        return DecodeResult::Failed;
    }
    for (;;) {
        if (stop != nullptr && stop->isSet()) {
            decoder.kill();
            return DecodeResult::Cancelled;
        }
        if (const std::optional<int> code = decoder.wait(stop != nullptr ? 0 : -1)) {
            if (*code != 0) {
                error = "the decoder ended with code " + std::to_string(*code);
                return DecodeResult::Failed;
            }
            return DecodeResult::Ok;
        }
        if (stop != nullptr) {
            stop->wait(kPollMs);
        }
    }
}

}  // namespace sonaro
