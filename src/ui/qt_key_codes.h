#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "app/hot_keys.h"

class QKeyEvent;

namespace sonaro {

// The stored key code of a key event: its virtual-key code and the Ctrl, Alt and Shift held;
// 0 when the key has no virtual-key code here.
KeyCode KeyCodeOfEvent(const QKeyEvent& event);

// The fixed keyboard shortcuts of the program's main windows (Space, F5, F6, Home, F7, Ctrl+L,
// F1): it watches the application's key presses and takes those, not auto-repeats, that go to a
// window given to `watch`, emitting the command. Dialogs keep every key, so Space ticks a box and
// F5 can be pressed as a hot key. Space and Home stay with a text field that has the focus.
class ShortcutFilter : public QObject {
    Q_OBJECT

  public:
    explicit ShortcutFilter(QObject* parent = nullptr);
    ~ShortcutFilter() override;

    // Gives the fixed keys to `window` and its children; forgotten when the window goes.
    void watch(QWidget* window);

  signals:
    void command(int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QList<QPointer<QWidget>> m_windows;
};

}  // namespace sonaro
