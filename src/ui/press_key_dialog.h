#pragma once

#include <QDialog>

#include "app/hot_keys.h"

namespace sonaro {

// "Press Key": takes the next key pressed with the modifiers held. Shift, Ctrl or Alt alone are
// not taken and Enter is swallowed; Esc or "Cancel" closes it without a key.
class PressKeyDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit PressKeyDialog(QWidget* parent = nullptr);

    // The key taken; 0 when cancelled.
    KeyCode key() const { return m_key; }

  protected:
    bool event(QEvent* event) override;

  private:
    KeyCode m_key = 0;
};

}  // namespace sonaro
