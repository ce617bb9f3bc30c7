#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/prompter.h"

namespace sonaro::test {

// A prompter that records every box and answers from a script (the box's default answer once
// the script is used up). Progress windows run the job to its end without a window, or cancel it
// as soon as `cancelWhen` says so.
class ScriptedPrompter final : public Prompter {
  public:
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
    // Asked repeatedly while a job runs; true cancels it.
    std::function<bool()> cancelWhen;

  private:
    std::deque<PromptAnswer> m_answers;
    std::vector<Shown> m_shown;
    std::vector<std::string> m_progressTitles;
};

}  // namespace sonaro::test
