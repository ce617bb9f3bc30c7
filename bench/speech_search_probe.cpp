// Runs the program's speech search over files and prints what it found, for
// speech_search_accuracy.py.
//
// Usage: speech_search_probe <keywords> <file>...
//        speech_search_probe --list <keywords> <keyword list out>
// Prints "hit <file index> <ms>" per hit, then "summary <found> <skipped>". With --list it writes
// the "word /threshold/" lines a search gives the decoder, for the peer command.

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pocketsphinx_engines.h"
#include "recordings/speech_keywords.h"
#include "recordings/speech_search.h"
#include "threads/ui_dispatcher.h"

namespace {

using namespace sonaro;

// The main thread is the user-interface thread: it runs the posted tasks until the search ends.
class LoopDispatcher final : public UiDispatcher {
  public:
    void post(Task task) override {
        std::lock_guard lock(m_lock);
        m_tasks.push_back(std::move(task));
        m_ready.notify_one();
    }
    void runUntil(const bool& done) {
        while (!done) {
            std::unique_lock lock(m_lock);
            m_ready.wait(lock, [this] { return !m_tasks.empty(); });
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
        }
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<Task> m_tasks;
};

class Printer final : public SpeechSearchListener {
  public:
    void OnKeywordFound(int item, std::int64_t ms) override {
        std::printf("hit %d %lld\n", item, static_cast<long long>(ms));
    }
    void OnUnknownKeywords(const std::vector<std::string>& words) override {
        for (const std::string& word : words) {
            std::printf("unknown %s\n", word.c_str());
        }
    }
    void OnSearchProgress(int, int, int) override {}
    void OnSearchComplete(const SpeechSearchSummary& summary) override {
        std::printf("summary %d %d %s\n", summary.found, summary.skipped,
                    summary.engineError.c_str());
        done = true;
    }
    bool done = false;
};

}  // namespace

int main(int argc, char** argv) {
    const bool list = argc == 4 && std::string(argv[1]) == "--list";
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s [--list] <keywords> <file>...\n", argv[0]);
        return 2;
    }
    PocketSphinxEngines engines(PocketSphinxEngines::kSystemRoot, "/nonexistent", "/tmp");
    SpeechSearchRequest request;
    request.keywordText = argv[list ? 2 : 1];
    request.keywords = SplitKeywords(request.keywordText);
    request.profile = PocketSphinxEngines::kNoProfile;
    if (list) {
        std::vector<std::string> unknown;
        std::string error;
        auto recognizer =
            engines.OpenRecognizer(0, request.profile, request.keywords, unknown, error);
        if (recognizer == nullptr) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::ofstream(argv[3]) << recognizer->keywordList();
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        request.items.push_back({i - 2, argv[i]});
    }
    LoopDispatcher dispatcher;
    Printer printer;
    SpeechSearch search(dispatcher, engines, nullptr);
    search.Search(request, &printer);
    dispatcher.runUntil(printer.done);
    return 0;
}
