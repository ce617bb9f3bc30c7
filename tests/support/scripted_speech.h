#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recordings/speech_recognizer.h"

namespace sonaro::test {

// A speech engine for tests. Its recogniser says its scripted phrases once the audio fed reaches
// their times, timed by the samples fed, so wrong rates or lengths on the way show in the times.
class ScriptedRecognizer final : public SpeechRecognizer {
  public:
    ScriptedRecognizer(std::map<std::int64_t, std::string> script, int feedDelayMs)
        : m_script(std::move(script)), m_feedDelayMs(feedDelayMs) {}

    bool BeginStream() override {
        m_fed = 0;
        m_next = m_script.begin();
        return true;
    }
    bool Feed(const std::int16_t*, std::size_t count,
              std::vector<RecognizedPhrase>& phrases) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_feedDelayMs));
        m_fed += static_cast<std::int64_t>(count);
        for (; m_next != m_script.end() && m_next->first * kSampleRate / 1000 < m_fed; ++m_next) {
            phrases.push_back({m_next->second, m_fed * 1000 / kSampleRate});
        }
        return true;
    }
    bool EndStream(std::vector<RecognizedPhrase>& phrases) override {
        phrases.push_back({"end", m_fed * 1000 / kSampleRate});
        return true;
    }

  private:
    std::map<std::int64_t, std::string> m_script;
    std::map<std::int64_t, std::string>::iterator m_next;
    int m_feedDelayMs;
    std::int64_t m_fed = 0;
};

class ScriptedSpeechEngines final : public SpeechEngines {
  public:
    std::vector<SpeechEngineInfo> List() override { return {{"Test", "scripted"}}; }
    std::vector<std::string> SpeakerProfiles(int) override { return {"none"}; }
    std::unique_ptr<SpeechRecognizer> Open(int, const std::string&, const std::vector<std::string>&,
                                           std::vector<std::string>& unknown,
                                           std::string& error) override {
        unknown = unknownWords;
        if (!failure.empty()) {
            error = failure;
            return nullptr;
        }
        return std::make_unique<ScriptedRecognizer>(script, feedDelayMs);
    }

    std::map<std::int64_t, std::string> script;
    std::vector<std::string> unknownWords;
    std::string failure;
    int feedDelayMs = 0;
};

}  // namespace sonaro::test
