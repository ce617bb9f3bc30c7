#include "recordings/speech_search.h"

#include <algorithm>
#include <utility>

#include "audio/audio_samples.h"
#include "formats/audio_file_opener.h"
#include "formats/source_rate_converter.h"
#include "recordings/speech_keywords.h"
#include "support/program_log.h"
#include "threads/ui_dispatcher.h"

namespace sonaro {

SpeechSearch::SpeechSearch(UiDispatcher& dispatcher, SpeechEngines& engines, ProgramLog* log)
    : m_dispatcher(dispatcher), m_engines(engines), m_log(log), m_link(std::make_shared<Link>()) {}

SpeechSearch::~SpeechSearch() {
    Cancel();
    m_link->listener = nullptr;
}

void SpeechSearch::Search(SpeechSearchRequest request, SpeechSearchListener* listener) {
    Cancel();
    m_request = std::move(request);
    m_generation = ++m_link->generation;
    m_link->listener = listener;
    Start(ThreadPriority::Lowest);
}

void SpeechSearch::Cancel() {
    Stop();
    ++m_link->generation;
}

template <typename Call>
void SpeechSearch::report(Call call) {
    m_dispatcher.post([link = m_link, generation = m_generation, call = std::move(call)] {
        if (link->listener != nullptr && link->generation == generation) {
            call(*link->listener);
        }
    });
}

void SpeechSearch::Run() {
    SpeechSearchSummary summary;
    std::vector<std::string> unknown;
    std::unique_ptr<SpeechRecognizer> recognizer = m_engines.Open(
        m_request.engine, m_request.profile, m_request.keywords, unknown, summary.engineError);
    if (!unknown.empty()) {
        report([unknown](SpeechSearchListener& listener) { listener.OnUnknownKeywords(unknown); });
    }
    if (recognizer == nullptr) {
        if (m_log != nullptr) {
            m_log->Log("Speech search could not start: ", summary.engineError);
        }
        report([summary](SpeechSearchListener& listener) { listener.OnSearchComplete(summary); });
        return;
    }
    const int total = static_cast<int>(m_request.items.size());
    for (int index = 0; index < total; ++index) {
        const SpeechSearchItem& item = m_request.items[static_cast<std::size_t>(index)];
        std::vector<std::int64_t> hits;
        const bool searched = searchRecording(*recognizer, item, index, hits);
        if (IsStopRequested()) {
            return;
        }
        if (!searched) {
            ++summary.skipped;
            if (m_log != nullptr) {
                m_log->Log("Speech search could not read ", item.path);
            }
            continue;
        }
        if (!hits.empty()) {
            ++summary.found;
            if (m_log != nullptr) {
                std::string times;
                for (std::int64_t ms : hits) {
                    times = AppendFoundTime(times, FoundTimeText(ms));
                }
                m_log->Log("Speech search found ('" + m_request.keywordText + "') at " + times +
                           " in " + item.path);
            }
        }
    }
    if (m_log != nullptr) {
        m_log->Log(SpeechSearchCompleteText(summary.found, m_request.keywordText));
    }
    report([summary](SpeechSearchListener& listener) { listener.OnSearchComplete(summary); });
}

bool SpeechSearch::searchRecording(SpeechRecognizer& recognizer, const SpeechSearchItem& item,
                                   int index, std::vector<std::int64_t>& hits) {
    const int total = static_cast<int>(m_request.items.size());
    report([index, total](SpeechSearchListener& listener) {
        listener.OnSearchProgress(index, total, 0);
    });
    SourceRef file = OpenRecordingFile(item.path);
    if (file->isUnusable() || file->channels() > 2) {
        return false;
    }
    SourceRef audio = MakeSourceRateConverter(file, SpeechRecognizer::kSampleRate);
    if (audio->isUnusable() || !recognizer.BeginStream()) {
        return false;
    }
    const int channels = audio->channels();
    const std::int64_t length = audio->GetLength();
    std::vector<InternalSample> block(static_cast<std::size_t>(kFeedFrames * channels));
    std::vector<std::int16_t> pcm(kFeedFrames);
    std::vector<RecognizedPhrase> phrases;
    const auto take = [&] {
        for (const RecognizedPhrase& phrase : phrases) {
            for (std::size_t hit = MatchPhrase(phrase.text, m_request.keywords).size(); hit > 0;
                 --hit) {
                hits.push_back(phrase.startMs);
                report([id = item.item, ms = phrase.startMs](SpeechSearchListener& listener) {
                    listener.OnKeywordFound(id, ms);
                });
            }
        }
        phrases.clear();
    };
    int permille = 0;
    for (std::int64_t position = 0; position < length;) {
        if (IsStopRequested()) {
            return true;
        }
        const int frames = static_cast<int>(std::min<std::int64_t>(kFeedFrames, length - position));
        audio->Read(block.data(), frames);
        for (int frame = 0; frame < frames; ++frame) {
            const InternalSample* sample = block.data() + frame * channels;
            pcm[static_cast<std::size_t>(frame)] =
                ToPcm16(channels == 2 ? (sample[0] + sample[1]) >> 1 : sample[0]);
        }
        if (!recognizer.Feed(pcm.data(), static_cast<std::size_t>(frames), phrases)) {
            return false;
        }
        take();
        position += frames;
        if (const int now = static_cast<int>(position * 1000 / length); now != permille) {
            permille = now;
            report([index, total, now](SpeechSearchListener& listener) {
                listener.OnSearchProgress(index, total, now);
            });
        }
    }
    const bool ended = recognizer.EndStream(phrases);
    take();
    return ended;
}

}  // namespace sonaro
