#pragma once

#include <functional>
#include <utility>

#include "threads/progress_reporter.h"

namespace sonaro {

// A background job whose body is a function of the job itself (for its stop and its reports).
// Created and destroyed on the user-interface thread.
class FunctionJob final : public LProgressReporter {
  public:
    using Body = std::function<void(LProgressReporter& job)>;

    FunctionJob(UiDispatcher& dispatcher, Body body)
        : LProgressReporter(dispatcher), m_body(std::move(body)) {}
    ~FunctionJob() override { Stop(); }

  protected:
    void Run() override { m_body(*this); }

  private:
    Body m_body;
};

}  // namespace sonaro
