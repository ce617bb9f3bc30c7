#include "support/scripted_prompter.h"

#include <chrono>
#include <thread>

#include "support/manual_dispatcher.h"
#include "threads/progress_reporter.h"

namespace sonaro::test {
namespace {

class RecordingListener final : public ProgressListener {
  public:
    RecordingListener(std::vector<std::string>& messages, std::vector<std::string>& statuses)
        : m_messages(messages), m_statuses(statuses) {}
    bool IsCancelRequested() const override { return false; }
    void OnMessage(std::string_view text) override { m_messages.emplace_back(text); }
    void OnStatus(std::string_view text, int) override { m_statuses.emplace_back(text); }
    void OnProgress(double) override {}

  private:
    std::vector<std::string>& m_messages;
    std::vector<std::string>& m_statuses;
};

}  // namespace

PromptAnswer ScriptedPrompter::ShowMessage(const PromptMessage& message) {
    m_shown.push_back(
        {std::string(message.text), std::string(message.title), message.buttons, message.icon});
    if (m_answers.empty()) {
        return message.defaultAnswer;
    }
    const PromptAnswer next = m_answers.front();
    m_answers.pop_front();
    return next;
}

void ScriptedPrompter::RunWithProgress(std::string_view title, LProgressReporter& job) {
    m_progressTitles.emplace_back(title);
    RecordingListener listener(m_jobMessages, m_jobStatuses);
    job.SetListener(&listener);
    job.Start();
    while (job.IsRunning() && !(cancelWhen && cancelWhen())) {
        if (m_dispatcher != nullptr) {
            m_dispatcher->pumpFor(10);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    job.Stop();
    if (m_dispatcher != nullptr) {
        m_dispatcher->pump();
    }
    job.SetListener(nullptr);
}

}  // namespace sonaro::test
