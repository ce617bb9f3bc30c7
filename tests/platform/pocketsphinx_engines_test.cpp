// The PocketSphinx engines: the models and profiles found, keywords outside the dictionary, and
// the whole speech search over espeak-ng speech in each recording format, with an unreadable
// recording among them.
#include "platform/pocketsphinx_engines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "recordings/speech_search.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/pulse_server.h"
#include "support/recording_maker.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

class PocketSphinxEnginesTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // espeak-ng saying `text`, as interleaved internal samples at `rate` and `channels`.
    std::vector<InternalSample> Speech(const std::string& text, int rate, int channels) {
        bool ok = false;
        test::RunForOutput({"espeak-ng", "-w", path("speech.wav"), text}, ok);
        EXPECT_TRUE(ok);
        test::RunForOutput({"sox", path("speech.wav"), "-r", std::to_string(rate), "-c",
                            std::to_string(channels), path("resampled.wav")},
                           ok);
        EXPECT_TRUE(ok);
        return test::InternalOf(test::DecodeWithSox(path("resampled.wav")));
    }

    // Quiet noise with `words` at 300 ms, `keyword` at `atMs`, and two seconds after it.
    static std::vector<InternalSample> Placed(const std::vector<InternalSample>& words,
                                              const std::vector<InternalSample>& keyword, int rate,
                                              int channels, int atMs) {
        const auto at = [&](int ms) {
            return static_cast<std::size_t>(rate) * ms / 1000 * channels;
        };
        std::vector<InternalSample> samples(at(atMs) + keyword.size() + at(2000));
        unsigned seed = 5;
        for (InternalSample& sample : samples) {
            seed = seed * 1103515245 + 12345;
            sample = static_cast<InternalSample>((seed >> 16) % 161) - 80;
        }
        for (std::size_t i = 0; i < words.size(); ++i) {
            samples[at(300) + i] += words[i];
        }
        for (std::size_t i = 0; i < keyword.size(); ++i) {
            samples[at(atMs) + i] += keyword[i];
        }
        return samples;
    }

    test::TempDir m_dir{"pocketsphinx"};
    PocketSphinxEngines m_engines{PocketSphinxEngines::kSystemRoot, m_dir + "/speech", m_dir};
};

TEST_F(PocketSphinxEnginesTest, ListsModelsWithTheirProfiles) {
    const std::string own = path("speech/my-model");
    std::filesystem::create_directories(own);
    std::filesystem::create_directories(path("speech/no-dictionary"));
    for (const char* file : {"mdef", "feat.params", "words.dict", "alice.mllr"}) {
        test::WriteFileBytes(own + "/" + file, {'x'});
    }
    test::WriteFileBytes(path("speech/no-dictionary/mdef"), {'x'});
    test::WriteFileBytes(path("speech/no-dictionary/feat.params"), {'x'});

    const std::vector<SpeechEngineInfo> engines = m_engines.List();
    ASSERT_EQ(engines.size(), 2u);
    EXPECT_EQ(engines[0].language, "English (United States)");
    EXPECT_EQ(engines[1].name, "my-model");
    EXPECT_EQ(m_engines.SpeakerProfiles(0), std::vector<std::string>{"none"});
    EXPECT_EQ(m_engines.SpeakerProfiles(1), (std::vector<std::string>{"none", "alice"}));

    std::vector<std::string> unknown;
    std::string error;
    EXPECT_EQ(m_engines.OpenRecognizer(2, "none", {"yes"}, unknown, error), nullptr);
    EXPECT_EQ(error, "no speech engine 2 is installed");
    auto recognizer =
        m_engines.OpenRecognizer(0, "none", {"Budget", "zzxqv", "budget"}, unknown, error);
    ASSERT_NE(recognizer, nullptr) << error;
    EXPECT_EQ(unknown, std::vector<std::string>{"zzxqv"});
    EXPECT_EQ(recognizer->keywordList(), "budget /1e-25/\n");
    EXPECT_EQ(m_engines.OpenRecognizer(0, "none", {"zzxqv"}, unknown, error), nullptr);
}

class Hits final : public SpeechSearchListener {
  public:
    void OnKeywordFound(int item, std::int64_t ms) override { times[item].push_back(ms); }
    void OnUnknownKeywords(const std::vector<std::string>&) override {}
    void OnSearchProgress(int, int, int) override {}
    void OnSearchComplete(const SpeechSearchSummary& result) override {
        summary = result;
        done = true;
    }
    std::map<int, std::vector<std::int64_t>> times;
    SpeechSearchSummary summary;
    bool done = false;
};

TEST_F(PocketSphinxEnginesTest, FindsSpokenKeywordsInEveryRecordingFormat) {
    // The maker's AIFF (11025 Hz mono) and MP3 (44.1 kHz stereo), and a 22050 Hz stereo WAV of
    // our own: the model is for wideband speech, which the maker's 8000 Hz WAV is not.
    test::RecordingMaker maker;
    struct Case {
        const char* name;
        int rate;
        int channels;
        int atMs;
    };
    std::vector<Case> cases = {{"a.wav", 22050, 2, 2500}, {"b.aiff", 11025, 1, 4100}};
    if (maker.hasMp3Encoder()) {
        cases.push_back({"c.mp3", 44100, 2, 3300});
    }
    SpeechSearchRequest request{{}, "tomorrow", {"tomorrow"}, 0, "none"};
    for (const Case& c : cases) {
        const std::vector<InternalSample> samples =
            Placed(Speech("the weather was nice", c.rate, c.channels),
                   Speech("tomorrow", c.rate, c.channels), c.rate, c.channels, c.atMs);
        if (std::string(c.name) == "a.wav") {
            ASSERT_TRUE(test::WriteWavFile(path(c.name), test::Pcm16Of(samples), c.rate, 2));
        } else {
            ASSERT_TRUE(maker.Make(path(c.name), 0, &samples)) << c.name;
        }
        request.items.push_back({static_cast<int>(request.items.size()), path(c.name)});
    }
    test::WriteFileBytes(path("broken.wav"), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    request.items.push_back({9, path("broken.wav")});

    test::ManualDispatcher dispatcher;
    SpeechSearch search(dispatcher, m_engines, nullptr);
    Hits hits;
    search.Search(request, &hits);
    ASSERT_TRUE(dispatcher.pumpUntil([&] { return hits.done; }, 120000));
    EXPECT_EQ(hits.summary.found, static_cast<int>(cases.size()));
    EXPECT_EQ(hits.summary.skipped, 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::vector<std::int64_t>& found = hits.times[static_cast<int>(i)];
        ASSERT_EQ(found.size(), 1u) << cases[i].name;
        EXPECT_NEAR(found[0], cases[i].atMs, 500) << cases[i].name;
    }
}

}  // namespace
}  // namespace sonaro
