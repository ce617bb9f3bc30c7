#pragma once

#include <QDialog>

#include <optional>

#include "app/hot_keys.h"
#include "support/prompter.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace sonaro {

// "Add New Hot-Key" (no entry given) or "Change Hot-Key Command": the key, "Change..." to press
// a new one, and the command. OK checks and writes the entry. Used on the user-interface thread.
class HotKeyDialog final : public QDialog {
    Q_OBJECT

  public:
    HotKeyDialog(HotKeyStore& store, Prompter& prompter, std::optional<HotKey> entry,
                 QWidget* parent = nullptr);

    QLabel* keyText() const { return m_keyText; }
    QPushButton* changeButton() const { return m_change; }
    QComboBox* commandList() const { return m_command; }
    KeyCode key() const { return m_key; }
    // What "Change..." does with the key the "Press Key" dialog took (tests call it directly).
    void setKey(KeyCode key);

    void accept() override;

  private:
    void pressKey();

    HotKeyStore& m_store;
    Prompter& m_prompter;
    std::optional<HotKey> m_entry;
    KeyCode m_key = 0;
    QLabel* m_keyText;
    QPushButton* m_change;
    QComboBox* m_command;
};

}  // namespace sonaro
