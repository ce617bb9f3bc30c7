#include "platform/qt_ui_dispatcher.h"

#include <QMetaObject>

namespace sonaro {

QtUiDispatcher::QtUiDispatcher() : m_context(new QObject) {}

// Pending invocations whose context object is gone are discarded by Qt.
QtUiDispatcher::~QtUiDispatcher() {
    delete m_context;
}

void QtUiDispatcher::post(Task task) {
    QMetaObject::invokeMethod(m_context, std::move(task), Qt::QueuedConnection);
}

}  // namespace sonaro
