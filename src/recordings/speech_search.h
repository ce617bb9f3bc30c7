#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recordings/speech_recognizer.h"
#include "threads/worker_thread.h"

namespace sonaro {

class ProgramLog;
class UiDispatcher;

// One recording to search: the list's item index (carried with each hit) and its file.
struct SpeechSearchItem {
    int item = 0;
    std::string path;
};

struct SpeechSearchRequest {
    std::vector<SpeechSearchItem> items;
    // The keyword field as typed, and its keywords (SplitKeywords).
    std::string keywordText;
    std::vector<std::string> keywords;
    int engine = 0;
    std::string profile;
};

struct SpeechSearchSummary {
    // Recordings with at least one hit.
    int found = 0;
    // Recordings that could not be read or that the engine failed on.
    int skipped = 0;
    // The engine could not be loaded: why; nothing was searched.
    std::string engineError;
};

// Told how a search goes. Every call runs on the user-interface thread.
class SpeechSearchListener {
  public:
    virtual ~SpeechSearchListener() = default;
    // A keyword was spoken at `ms` in the recording of list item `item`.
    virtual void OnKeywordFound(int item, std::int64_t ms) = 0;
    // Keywords the engine cannot pronounce; they are not searched for. Told once per search.
    virtual void OnUnknownKeywords(const std::vector<std::string>& words) = 0;
    // Recording `done` (from 0) of `total` is being searched, `permille` of it so far.
    virtual void OnSearchProgress(int done, int total, int permille) = 0;
    // Every recording was searched (not told after Stop).
    virtual void OnSearchComplete(const SpeechSearchSummary& summary) = 0;
};

// Searches recordings for spoken keywords on a worker thread at the lowest priority: each
// recording is read through its reader and a rate converter to 16 kHz mono and fed to one
// recogniser made for the search; each recognised phrase is matched with MatchPhrase. Recordings
// with hits and the completion go to the program log.
//
// Created, driven and destroyed on the user-interface thread.
class SpeechSearch final : public LWorkerThread {
  public:
    // Samples fed at a time: the stop request is looked at between two feeds.
    static constexpr int kFeedFrames = 1024;

    SpeechSearch(UiDispatcher& dispatcher, SpeechEngines& engines, ProgramLog* log);
    ~SpeechSearch() override;

    // Stops a search in progress, then searches `request` and reports to `listener`.
    void Search(SpeechSearchRequest request, SpeechSearchListener* listener);
    // Stops the search and waits for the worker; nothing more is reported for it.
    void Cancel();

  protected:
    void Run() override;

  private:
    // What the worker's posts report to; only touched on the user-interface thread.
    struct Link {
        SpeechSearchListener* listener = nullptr;
        int generation = 0;
    };

    // Searches one recording; false when it could not be read or the engine failed.
    bool searchRecording(SpeechRecognizer& recognizer, const SpeechSearchItem& item, int index,
                         std::vector<std::int64_t>& hits);
    template <typename Call>
    void report(Call call);

    UiDispatcher& m_dispatcher;
    SpeechEngines& m_engines;
    ProgramLog* m_log;
    std::shared_ptr<Link> m_link;
    // Set before the worker starts, read by it only.
    SpeechSearchRequest m_request;
    int m_generation = 0;
};

}  // namespace sonaro
