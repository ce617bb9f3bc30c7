#include "platform/pocketsphinx_engines.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

namespace sonaro {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSearchName = "keywords";

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsModelFolder(const fs::path& folder) {
    return IsFile(folder / "mdef") && IsFile(folder / "feat.params");
}

std::string LanguageName(const std::string& code) {
    if (code == "en-us") {
        return "English (United States)";
    }
    if (code == "en-gb") {
        return "English (United Kingdom)";
    }
    return code;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

int CountPhones(const char* pronunciation) {
    int phones = 0;
    bool inPhone = false;
    for (const char* c = pronunciation; *c != '\0'; ++c) {
        const bool space = *c == ' ' || *c == '\t';
        phones += !space && !inPhone ? 1 : 0;
        inPhone = !space;
    }
    return phones;
}

// Writes `text` to a new private file in `folder`; its path, or empty.
std::string WriteTemporaryFile(const std::string& folder, const std::string& text) {
    std::string path = (fs::path(folder) / "keywords-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        return {};
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0) {
            close(fd);
            unlink(path.c_str());
            return {};
        }
        written += static_cast<std::size_t>(n);
    }
    close(fd);
    return path;
}

}  // namespace

PocketSphinxRecognizer::PocketSphinxRecognizer(cmd_ln_s* config, ps_decoder_s* decoder,
                                               std::string keywordList, std::string keywordFile)
    : m_config(config),
      m_decoder(decoder),
      m_keywordList(std::move(keywordList)),
      m_keywordFile(std::move(keywordFile)),
      m_frameRate(cmd_ln_int32_r(config, "-frate")) {}

PocketSphinxRecognizer::~PocketSphinxRecognizer() {
    freeDecoder();
    cmd_ln_free_r(m_config);
    if (!m_keywordFile.empty()) {
        unlink(m_keywordFile.c_str());
    }
}

bool PocketSphinxRecognizer::MakeDecoder(bool fresh) {
    if (fresh) {
        freeDecoder();
        m_decoder = ps_init(m_config);
    }
    if (m_decoder != nullptr && (ps_set_kws(m_decoder, kSearchName, m_keywordFile.c_str()) < 0 ||
                                 ps_set_search(m_decoder, kSearchName) < 0)) {
        freeDecoder();
    }
    return m_decoder != nullptr;
}

void PocketSphinxRecognizer::freeDecoder() {
    if (m_decoder != nullptr) {
        if (m_inUtterance) {
            ps_end_utt(m_decoder);
        }
        ps_free(m_decoder);
    }
    m_decoder = nullptr;
    m_inUtterance = false;
}

bool PocketSphinxRecognizer::BeginStream() {
    if ((m_used || m_decoder == nullptr) && !MakeDecoder(true)) {
        return false;
    }
    m_used = true;
    m_inUtterance = ps_start_utt(m_decoder) >= 0;
    return m_inUtterance;
}

bool PocketSphinxRecognizer::Feed(const std::int16_t* samples, std::size_t count,
                                  std::vector<RecognizedPhrase>& phrases) {
    if (!m_inUtterance || ps_process_raw(m_decoder, samples, count, FALSE, FALSE) < 0) {
        return false;
    }
    if (ps_get_hyp(m_decoder, nullptr) == nullptr) {
        return true;
    }
    // A detection stays in the hypothesis for the rest of the utterance: take it and restart.
    collect(phrases);
    ps_end_utt(m_decoder);
    m_inUtterance = ps_start_utt(m_decoder) >= 0;
    return m_inUtterance;
}

bool PocketSphinxRecognizer::EndStream(std::vector<RecognizedPhrase>& phrases) {
    if (!m_inUtterance) {
        return false;
    }
    m_inUtterance = false;
    if (ps_end_utt(m_decoder) < 0) {
        return false;
    }
    collect(phrases);
    return true;
}

void PocketSphinxRecognizer::collect(std::vector<RecognizedPhrase>& phrases) {
    const std::size_t first = phrases.size();
    for (ps_seg_t* segment = ps_seg_iter(m_decoder); segment != nullptr;
         segment = ps_seg_next(segment)) {
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(segment, &startFrame, &endFrame);
        std::string word = ps_seg_word(segment);
        word.erase(word.find_last_not_of(' ') + 1);
        phrases.push_back({std::move(word), std::int64_t{startFrame} * 1000 / m_frameRate});
    }
    // Detections come newest first.
    std::reverse(phrases.begin() + static_cast<std::ptrdiff_t>(first), phrases.end());
}

PocketSphinxEngines::PocketSphinxEngines(std::string systemRoot, std::string userRoot,
                                         std::string temporaryFolder)
    : m_systemRoot(std::move(systemRoot)),
      m_userRoot(std::move(userRoot)),
      m_temporaryFolder(std::move(temporaryFolder)) {}

double PocketSphinxEngines::KeywordThreshold(int phones) {
    return std::pow(10.0, -std::clamp(5 * phones, 5, 50));
}

std::vector<PocketSphinxEngines::Model> PocketSphinxEngines::findModels() const {
    std::vector<Model> models;
    std::error_code error;
    // The Debian layout: <root>/<language>/<language>/ with <root>/<language>/cmudict-*.dict.
    for (const auto& entry : fs::directory_iterator(m_systemRoot, error)) {
        const std::string language = entry.path().filename().string();
        const fs::path dictionary = entry.path() / ("cmudict-" + language + ".dict");
        if (IsModelFolder(entry.path() / language) && IsFile(dictionary)) {
            models.push_back({{LanguageName(language), "PocketSphinx " + language},
                              (entry.path() / language).string(),
                              dictionary.string()});
        }
    }
    std::vector<fs::path> own;
    for (const auto& entry : fs::directory_iterator(m_userRoot, error)) {
        if (IsModelFolder(entry.path())) {
            own.push_back(entry.path());
        }
    }
    std::sort(own.begin(), own.end());
    for (const fs::path& folder : own) {
        std::vector<fs::path> dictionaries;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.path().extension() == ".dict" && IsFile(entry.path())) {
                dictionaries.push_back(entry.path());
            }
        }
        if (!dictionaries.empty()) {
            std::sort(dictionaries.begin(), dictionaries.end());
            const std::string name = folder.filename().string();
            models.push_back(
                {{LanguageName(name), name}, folder.string(), dictionaries.front().string()});
        }
    }
    return models;
}

std::vector<SpeechEngineInfo> PocketSphinxEngines::List() {
    std::vector<SpeechEngineInfo> engines;
    for (const Model& model : findModels()) {
        engines.push_back(model.info);
    }
    return engines;
}

std::vector<std::string> PocketSphinxEngines::SpeakerProfiles(int engine) {
    const std::vector<Model> models = findModels();
    if (engine < 0 || engine >= static_cast<int>(models.size())) {
        return {};
    }
    std::vector<std::string> profiles;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(models[static_cast<std::size_t>(engine)].folder, error)) {
        if (entry.path().extension() == ".mllr" && IsFile(entry.path())) {
            profiles.push_back(entry.path().stem().string());
        }
    }
    std::sort(profiles.begin(), profiles.end());
    profiles.insert(profiles.begin(), kNoProfile);
    return profiles;
}

std::unique_ptr<SpeechRecognizer> PocketSphinxEngines::Open(
    int engine, const std::string& profile, const std::vector<std::string>& keywords,
    std::vector<std::string>& unknown, std::string& error) {
    return OpenRecognizer(engine, profile, keywords, unknown, error);
}

std::unique_ptr<PocketSphinxRecognizer> PocketSphinxEngines::OpenRecognizer(
    int engine, const std::string& profile, const std::vector<std::string>& keywords,
    std::vector<std::string>& unknown, std::string& error) {
    const std::vector<Model> models = findModels();
    if (engine < 0 || engine >= static_cast<int>(models.size())) {
        error = "no speech engine " + std::to_string(engine) + " is installed";
        return nullptr;
    }
    const Model& model = models[static_cast<std::size_t>(engine)];
    const fs::path mllr = fs::path(model.folder) / (profile + ".mllr");
    const bool adapted = profile != kNoProfile && !profile.empty() && IsFile(mllr);
    err_set_logfp(nullptr);
    // Silence removal would drop frames and so shift every later time.
    cmd_ln_t* config =
        adapted ? cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.folder.c_str(), "-dict",
                              model.dictionary.c_str(), "-remove_silence", "no", "-mllr",
                              mllr.c_str(), nullptr)
                : cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.folder.c_str(), "-dict",
                              model.dictionary.c_str(), "-remove_silence", "no", nullptr);
    if (config == nullptr) {
        error = "the speech model " + model.folder + " has invalid settings";
        return nullptr;
    }
    ps_decoder_t* decoder = ps_init(config);
    if (decoder == nullptr) {
        cmd_ln_free_r(config);
        error = "the speech model " + model.folder + " could not be loaded";
        return nullptr;
    }
    std::string list;
    std::set<std::string> listed;
    for (const std::string& keyword : keywords) {
        const std::string word = Lower(keyword);
        char* pronunciation = ps_lookup_word(decoder, word.c_str());
        if (pronunciation == nullptr) {
            if (std::find(unknown.begin(), unknown.end(), keyword) == unknown.end()) {
                unknown.push_back(keyword);
            }
            continue;
        }
        const int phones = CountPhones(pronunciation);
        std::free(pronunciation);
        if (listed.insert(word).second) {
            char threshold[32];
            std::snprintf(threshold, sizeof threshold, "%g", KeywordThreshold(phones));
            list += word + " /" + threshold + "/\n";
        }
    }
    if (list.empty()) {
        ps_free(decoder);
        cmd_ln_free_r(config);
        error = "none of the keywords is in the dictionary of " + model.info.name;
        return nullptr;
    }
    std::string path = WriteTemporaryFile(m_temporaryFolder, list);
    auto recognizer = std::make_unique<PocketSphinxRecognizer>(config, decoder, list, path);
    if (path.empty()) {
        error = "the keyword list could not be written in " + m_temporaryFolder;
        return nullptr;
    }
    if (!recognizer->MakeDecoder(false)) {
        error = "the speech engine refused the keyword list";
        return nullptr;
    }
    return recognizer;
}

}  // namespace sonaro
