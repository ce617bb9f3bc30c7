#pragma once

#include <QObject>
#include <QPointer>

#include "threads/ui_dispatcher.h"

namespace sonaro {

// Runs tasks on the thread of the Qt object it is created on (the user-interface thread) through
// queued invocations, which keep posting order. Tasks posted after destruction are dropped.
class QtUiDispatcher final : public UiDispatcher {
  public:
    QtUiDispatcher();
    ~QtUiDispatcher() override;

    void post(Task task) override;

  private:
    QObject* m_context;
};

}  // namespace sonaro
