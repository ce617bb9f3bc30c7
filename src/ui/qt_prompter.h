#pragma once

#include <QPointer>
#include <QWidget>

#include "support/prompter.h"

namespace sonaro {

// Message boxes and progress windows with Qt Widgets. Under the offscreen platform (no display)
// a message box prints its title and text to standard error and takes its default answer.
//
// Used on the user-interface thread.
class QtPrompter final : public Prompter {
  public:
    // Boxes and progress windows are owned by `owner` (may be null: they stand alone).
    explicit QtPrompter(QWidget* owner = nullptr) : m_owner(owner) {}

    PromptAnswer ShowMessage(const PromptMessage& message) override;
    void RunWithProgress(std::string_view title, LProgressReporter& job) override;

    // True under the offscreen platform.
    static bool IsHeadless();

  private:
    QPointer<QWidget> m_owner;
};

}  // namespace sonaro
