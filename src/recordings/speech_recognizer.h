#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sonaro {

// What a recogniser heard: the whole phrase as text and where it starts in the stream.
struct RecognizedPhrase {
    std::string text;
    std::int64_t startMs = 0;
};

// A speech recogniser set up for one search, fed one recording after another.
//
// Used by one thread at a time (the search thread).
class SpeechRecognizer {
  public:
    // The audio it takes: 16-bit mono samples at this rate.
    static constexpr int kSampleRate = 16000;

    virtual ~SpeechRecognizer() = default;

    // Starts a recording: the next sample fed is at 0 ms. False when the engine refuses.
    virtual bool BeginStream() = 0;
    // Takes the next samples and appends what was recognised so far. False on an engine failure,
    // which ends the recording.
    virtual bool Feed(const std::int16_t* samples, std::size_t count,
                      std::vector<RecognizedPhrase>& phrases) = 0;
    // The end of the recording: appends what the rest of the audio gave.
    virtual bool EndStream(std::vector<RecognizedPhrase>& phrases) = 0;
};

// One installed engine as the engine list shows it.
struct SpeechEngineInfo {
    std::string language;
    std::string name;
};

// The speech engines installed on the machine.
//
// The lists are read on the user-interface thread; Open is called by the search thread.
class SpeechEngines {
  public:
    virtual ~SpeechEngines() = default;

    virtual std::vector<SpeechEngineInfo> List() = 0;
    // The speaker profiles of the engine at `engine` in the list, the first of them the engine
    // without adaptation.
    virtual std::vector<std::string> SpeakerProfiles(int engine) = 0;
    // A recogniser of the engine at `engine` that spots `keywords`, adapted with the named
    // profile when it exists. Keywords the engine cannot pronounce go to `unknown` and are not
    // spotted. Null with `error` set when the engine cannot be loaded or nothing is left to spot.
    virtual std::unique_ptr<SpeechRecognizer> Open(int engine, const std::string& profile,
                                                   const std::vector<std::string>& keywords,
                                                   std::vector<std::string>& unknown,
                                                   std::string& error) = 0;
};

}  // namespace sonaro
