#pragma once

#include <QObject>

#include "app/hot_keys.h"

class QKeyEvent;

namespace sonaro {

// The stored key code of a key event: its virtual-key code and the Ctrl, Alt and Shift held;
// 0 when the key has no virtual-key code here.
KeyCode KeyCodeOfEvent(const QKeyEvent& event);

// The fixed keyboard shortcuts of the program's windows (Space, F5, F6, Home, F7, Ctrl+L):
// installed on the application, it takes key presses that are not auto-repeats and emits the
// main window's command. Space and Home stay with a text field that has the focus.
class ShortcutFilter : public QObject {
    Q_OBJECT

  public:
    explicit ShortcutFilter(QObject* parent = nullptr) : QObject(parent) {}

  signals:
    void command(int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace sonaro
