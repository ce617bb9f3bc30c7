#pragma once

#include "app/hot_keys.h"
#include "ui/options_page.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace sonaro {

// Page 4, "Hot-Keys": the system-wide hot keys with "Add...", "Change..." and "Delete...". Each
// change is written when its own dialog closes, so OK has nothing left to write.
class HotKeysPage final : public OptionsPage {
    Q_OBJECT

  public:
    HotKeysPage(OptionsServices& services, QWidget* parent = nullptr);

    QTreeWidget* list() const { return m_list; }
    // Shown when the desktop offers no system-wide keys in this session.
    QLabel* unavailableNote() const { return m_unavailable; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* changeButton() const { return m_change; }
    QPushButton* deleteButton() const { return m_delete; }

  protected:
    void Load() override;
    void UpdateEnabling() override;
    std::optional<FieldComplaint> SaveChanged() override { return std::nullopt; }
    QWidget* fieldWidget(int field) override;

  private:
    void addHotKey();
    void changeHotKey();
    void deleteHotKeys();

    HotKeyStore m_store;
    std::vector<HotKey> m_hotKeys;
    QLabel* m_unavailable;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_change;
    QPushButton* m_delete;
};

}  // namespace sonaro
