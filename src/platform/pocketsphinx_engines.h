#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recordings/speech_recognizer.h"

struct cmd_ln_s;
struct ps_decoder_s;

namespace sonaro {

// PocketSphinx decoders in keyword-spotting mode, a fresh one for each recording: the spotter
// numbers its frames from the decoder's creation and its live cepstral mean carries over, so a
// decoder reused for the next recording would give shifted times and results that depend on
// what was searched before. Each spotted keyword is one phrase, timed from its first frame; the
// utterance is restarted after each detection, which would otherwise stay in the hypothesis.
class PocketSphinxRecognizer final : public SpeechRecognizer {
  public:
    // Takes `config` and `decoder` (made from it, for the first recording); `keywordFile` holds
    // `keywordList` and is deleted with the recogniser.
    PocketSphinxRecognizer(cmd_ln_s* config, ps_decoder_s* decoder, std::string keywordList,
                           std::string keywordFile);
    ~PocketSphinxRecognizer() override;

    // Sets up the decoder that the next recording uses, made anew when `fresh`; false when the
    // engine refuses.
    bool MakeDecoder(bool fresh);

    bool BeginStream() override;
    bool Feed(const std::int16_t* samples, std::size_t count,
              std::vector<RecognizedPhrase>& phrases) override;
    bool EndStream(std::vector<RecognizedPhrase>& phrases) override;

    // The keyword list as given to the decoder: "word /threshold/" lines.
    const std::string& keywordList() const { return m_keywordList; }

  private:
    void collect(std::vector<RecognizedPhrase>& phrases);
    void freeDecoder();

    cmd_ln_s* m_config;
    ps_decoder_s* m_decoder = nullptr;
    std::string m_keywordList;
    std::string m_keywordFile;
    int m_frameRate;
    bool m_inUtterance = false;
    // The decoder has taken a recording.
    bool m_used = false;
};

// The speech engines of PocketSphinx: each acoustic model found is one engine, spotting keywords
// with its pronunciation dictionary. Models: the Debian package's ("<systemRoot>/en-us/en-us"
// with "<systemRoot>/en-us/cmudict-en-us.dict"), then every folder under `userRoot` holding a
// model ("mdef" and "feat.params") and a "*.dict" file, in name order. Speaker profiles: "none",
// then the MLLR transforms ("*.mllr") in the model's folder, by file stem.
class PocketSphinxEngines final : public SpeechEngines {
  public:
    static constexpr const char* kSystemRoot = "/usr/share/pocketsphinx/model";
    static constexpr const char* kNoProfile = "none";

    // `temporaryFolder` holds the keyword list while a recogniser lives.
    PocketSphinxEngines(std::string systemRoot, std::string userRoot, std::string temporaryFolder);

    std::vector<SpeechEngineInfo> List() override;
    std::vector<std::string> SpeakerProfiles(int engine) override;
    std::unique_ptr<SpeechRecognizer> Open(int engine, const std::string& profile,
                                           const std::vector<std::string>& keywords,
                                           std::vector<std::string>& unknown,
                                           std::string& error) override;
    // Open's recogniser with its own type.
    std::unique_ptr<PocketSphinxRecognizer> OpenRecognizer(int engine, const std::string& profile,
                                                           const std::vector<std::string>& keywords,
                                                           std::vector<std::string>& unknown,
                                                           std::string& error);

    // The spotting threshold of a keyword of `phones` phones: longer words collect more
    // evidence, so they need a lower bar against false hits of short ones. Tuned on synthetic
    // speech of several voices and speeds mixed with noise (bench/speech_search_accuracy.py).
    static double KeywordThreshold(int phones);

  private:
    struct Model {
        SpeechEngineInfo info;
        std::string folder;
        std::string dictionary;
    };
    std::vector<Model> findModels() const;

    std::string m_systemRoot;
    std::string m_userRoot;
    std::string m_temporaryFolder;
};

}  // namespace sonaro
