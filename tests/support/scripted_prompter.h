#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/prompter.h"
#include "threads/progress_reporter.h"

namespace sonaro::test {

class ManualDispatcher;

// A progress listener that keeps every report; `cancel` asks the job to stop.
class ProgressLog final : public ProgressListener {
  public:
    bool IsCancelRequested() const override { return cancel.load(); }
    void OnMessage(std::string_view text) override { messages.emplace_back(text); }
    void OnStatus(std::string_view text, int) override { statuses.emplace_back(text); }
    void OnProgress(double fraction) override { progress.push_back(fraction); }

    std::atomic<bool> cancel{false};
    std::vector<std::string> messages;
    std::vector<std::string> statuses;
    std::vector<double> progress;
};

// A prompter that records every box and answers from a script (the box's default answer once
// the script is used up). Progress windows run the job to its end without a window (pumping
// `dispatcher`, when given, and recording the job's messages and status lines), or cancel it as
// soon as `cancelWhen` says so.
class ScriptedPrompter final : public Prompter {
  public:
    explicit ScriptedPrompter(ManualDispatcher* dispatcher = nullptr) : m_dispatcher(dispatcher) {}

    struct Shown {
        std::string text;
        std::string title;
        PromptButtons buttons;
        PromptIcon icon;
    };

    PromptAnswer ShowMessage(const PromptMessage& message) override;
    void RunWithProgress(std::string_view title, LProgressReporter& job) override;

    void answer(PromptAnswer next) { m_answers.push_back(next); }
    const std::vector<Shown>& shown() const { return m_shown; }
    const std::vector<std::string>& progressTitles() const { return m_progressTitles; }
    const std::vector<std::string>& jobMessages() const { return m_job.messages; }
    const std::vector<std::string>& jobStatuses() const { return m_job.statuses; }
    // Asked repeatedly while a job runs; true cancels it.
    std::function<bool()> cancelWhen;

  private:
    ManualDispatcher* m_dispatcher;
    std::deque<PromptAnswer> m_answers;
    ProgressLog m_job;
    std::vector<Shown> m_shown;
    std::vector<std::string> m_progressTitles;
};

}  // namespace sonaro::test
