#include "recordings/speech_search.h"

#include <gtest/gtest.h>

#include <map>

#include "recordings/speech_keywords.h"
#include "support/audio_files.h"
#include "support/manual_dispatcher.h"
#include "support/recording_maker.h"
#include "support/scripted_speech.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

TEST(SpeechKeywordsTest, SplitsAtSemicolonsCommasAndSpaces) {
    EXPECT_EQ(SplitKeywords("yes, no;maybe"), (std::vector<std::string>{"yes", "no", "maybe"}));
    EXPECT_TRUE(SplitKeywords(" , ,,  ; ").empty());
    EXPECT_EQ(SplitKeywords("a\tb"), std::vector<std::string>{"a\tb"});
    const std::vector<std::string> cut = SplitKeywords(std::string(300, 'k') + ",x");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0], std::string(kKeywordLimit, 'k'));
}

TEST(SpeechKeywordsTest, MatchesWholeWordsWithOrWithoutUh) {
    const std::vector<std::string> keywords = {"no", "yes"};
    EXPECT_EQ(MatchPhrase("Yes please", keywords), std::vector<int>{1});
    EXPECT_EQ(MatchPhrase("UHyes", keywords), std::vector<int>{1});
    EXPECT_EQ(MatchPhrase("uhNO\tthen\x01YES", keywords), (std::vector<int>{0, 1}));
    EXPECT_TRUE(MatchPhrase("yesterday nope uh yess", keywords).empty());
    // The first keyword in list order wins, once per word.
    EXPECT_EQ(MatchPhrase("yes", {"YES", "yes"}), std::vector<int>{0});
}

// Joined found times and the texts for none and one found are checked by the search below and
// through the speech search page.
TEST(SpeechKeywordsTest, FormatsFoundTimesAndCompletion) {
    EXPECT_EQ(FoundTimeText(36000099), "10:00:00.0");
    EXPECT_EQ(FoundTimeText(-1560), "-0:00:01.5");
    EXPECT_EQ(ParseFoundTimes("0:01:05.4, 0:02:05.0, x, -0:00:01.5, 10:00:00.0"),
              (std::vector<std::int64_t>{65400, 125000, -1500, 36000000}));
    EXPECT_EQ(SpeechSearchCompleteText(2, "yes"),
              "Speech Search Complete. 2 Recordings were found with keyword('yes').");
}

class SearchLog final : public SpeechSearchListener {
  public:
    void OnKeywordFound(int item, std::int64_t ms) override {
        times[item] = AppendFoundTime(times[item], FoundTimeText(ms));
    }
    void OnUnknownKeywords(const std::vector<std::string>& words) override { unknown = words; }
    void OnSearchProgress(int done, int total, int permille) override {
        EXPECT_LT(done, total);
        EXPECT_LE(permille, 1000);
        ++progress;
    }
    void OnSearchComplete(const SpeechSearchSummary& result) override {
        summary = result;
        ++completed;
    }

    std::map<int, std::string> times;
    std::vector<std::string> unknown;
    SpeechSearchSummary summary;
    int progress = 0;
    int completed = 0;
};

class SpeechSearchTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    void Run(const std::vector<SpeechSearchItem>& items) {
        m_search.Search({items, "yes, no", {"yes", "no"}, 0, "none"}, &m_log);
        ASSERT_TRUE(m_dispatcher.pumpUntil([this] { return m_log.completed == 1; }));
    }

    test::TempDir m_dir{"speech-search"};
    test::RecordingMaker m_maker;
    test::ManualDispatcher m_dispatcher;
    test::ScriptedSpeechEngines m_engines;
    SearchLog m_log;
    SpeechSearch m_search{m_dispatcher, m_engines, nullptr};
};

TEST_F(SpeechSearchTest, ReportsHitsOfEachRecordingAndCountsItOnce) {
    ASSERT_TRUE(m_maker.Make(path("long.wav"), 126));
    ASSERT_TRUE(m_maker.Make(path("short.aiff"), 3));
    test::WriteFileBytes(path("broken.wav"), {'R', 'I', 'F', 'F', 1, 2, 3});
    m_engines.script = {{1000, "hello"}, {65400, "Yes please"}, {125000, "UHno"}};
    m_engines.unknownWords = {"zzxq"};
    Run({{4, path("long.wav")}, {7, path("broken.wav")}, {9, path("short.aiff")}});

    EXPECT_EQ(m_log.times[4], "0:01:05.4, 0:02:05.0");
    EXPECT_EQ(m_log.times.count(7), 0u);
    EXPECT_EQ(m_log.times.count(9), 0u);
    EXPECT_EQ(m_log.summary.found, 1);
    EXPECT_EQ(m_log.summary.skipped, 1);
    EXPECT_EQ(m_log.unknown, std::vector<std::string>{"zzxq"});
    EXPECT_GT(m_log.progress, 3);
}

TEST_F(SpeechSearchTest, NoSelectionCompletesAtOnceAndAFailingEngineSaysWhy) {
    Run({});
    EXPECT_EQ(m_log.summary.found, 0);
    EXPECT_TRUE(m_log.summary.engineError.empty());

    m_engines.failure = "no model";
    m_log.completed = 0;
    ASSERT_TRUE(m_maker.Make(path("a.wav"), 1));
    Run({{0, path("a.wav")}});
    EXPECT_EQ(m_log.summary.engineError, "no model");
    EXPECT_EQ(m_log.summary.skipped, 0);
}

TEST_F(SpeechSearchTest, CancelEndsTheSearchWithoutFurtherReports) {
    ASSERT_TRUE(m_maker.Make(path("long.wav"), 600));
    m_engines.feedDelayMs = 5;
    m_engines.script = {{100, "yes"}};
    m_search.Search({{{0, path("long.wav")}}, "yes", {"yes"}, 0, "none"}, &m_log);
    ASSERT_TRUE(m_dispatcher.pumpUntil([this] { return !m_log.times.empty(); }));
    m_search.Cancel();
    EXPECT_FALSE(m_search.IsRunning());
    m_dispatcher.pumpFor(50);
    EXPECT_EQ(m_log.completed, 0);
}

}  // namespace
}  // namespace sonaro
