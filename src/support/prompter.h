#pragma once

#include <string_view>

namespace sonaro {

class LProgressReporter;

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// One message box: the text and title are shown as given ("\r\n" line breaks included). Without
// an owner window the box stands alone.
struct PromptMessage {
    std::string_view text;
    std::string_view title;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    // The answer taken when no one can answer (no display) and the button focused first.
    PromptAnswer defaultAnswer = PromptAnswer::Ok;
};

// The core's only way to ask the user something. Implemented by the user interface; without a
// display it prints the text to standard error and takes the default answer.
//
// Every operation runs on the user-interface thread and blocks until answered.
class Prompter {
  public:
    virtual ~Prompter() = default;

    virtual PromptAnswer ShowMessage(const PromptMessage& message) = 0;

    // Starts `job` and shows a progress window with `title`, the job's two status lines, its
    // progress and a Cancel button until the job's body returns. Cancel requests the job's stop
    // and waits for the body. The job's listener is the window while it shows and the null
    // listener afterwards.
    virtual void RunWithProgress(std::string_view title, LProgressReporter& job) = 0;

    // A Yes/No question with the question icon; true for Yes.
    bool AskYesNo(std::string_view text, std::string_view title,
                  PromptAnswer defaultAnswer = PromptAnswer::No) {
        return ShowMessage({text, title, PromptButtons::YesNo, PromptIcon::Question,
                            defaultAnswer}) == PromptAnswer::Yes;
    }
    void ShowError(std::string_view text, std::string_view title) {
        ShowMessage({text, title, PromptButtons::Ok, PromptIcon::Error, PromptAnswer::Ok});
    }
};

}  // namespace sonaro
