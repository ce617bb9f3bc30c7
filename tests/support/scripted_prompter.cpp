#include "support/scripted_prompter.h"

#include <chrono>
#include <thread>

#include "support/manual_dispatcher.h"

namespace sonaro::test {
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
    job.SetListener(&m_job);
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
