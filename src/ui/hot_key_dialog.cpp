#include "ui/hot_key_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/hot_key_assignment.h"
#include "ui/options_page.h"
#include "ui/press_key_dialog.h"

namespace sonaro {

HotKeyDialog::HotKeyDialog(HotKeyStore& store, Prompter& prompter, std::optional<HotKey> entry,
                           QWidget* parent)
    : QDialog(parent),
      m_store(store),
      m_prompter(prompter),
      m_entry(entry),
      m_keyText(new QLabel(this)),
      m_change(new QPushButton(QStringLiteral("Change..."), this)),
      m_command(new QComboBox(this)) {
    setWindowTitle(entry ? QStringLiteral("Change Hot-Key Command")
                         : QStringLiteral("Add New Hot-Key"));
    auto* form = new QFormLayout(this);
    auto* keyRow = new QHBoxLayout;
    m_keyText->setFrameShape(QFrame::StyledPanel);
    m_keyText->setMinimumWidth(200);
    keyRow->addWidget(m_keyText, 1);
    keyRow->addWidget(m_change);
    form->addRow(QStringLiteral("Key:"), keyRow);
    for (int command = 0; command < kHotKeyCommandCount; ++command) {
        m_command->addItem(ToQt(HotKeyCommandName(command)));
    }
    form->addRow(QStringLiteral("Command:"), m_command);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &HotKeyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &HotKeyDialog::reject);
    connect(m_change, &QPushButton::clicked, this, &HotKeyDialog::pressKey);
    m_keyText->setText(QStringLiteral("Click \"Change...\" to assign key"));
    if (entry) {
        setKey(entry->key);
        m_command->setCurrentIndex(
            entry->command >= 0 && entry->command < kHotKeyCommandCount ? entry->command : 0);
    }
}

void HotKeyDialog::setKey(KeyCode key) {
    m_key = key;
    m_keyText->setText(ToQt(KeyText(key)));
}

void HotKeyDialog::pressKey() {
    PressKeyDialog press(this);
    if (press.exec() == QDialog::Accepted) {
        setKey(press.key());
    }
}

void HotKeyDialog::accept() {
    const std::optional<int> slot = m_entry ? std::optional<int>(m_entry->slot) : std::nullopt;
    const KeyCode original = m_entry ? m_entry->key : 0;
    if (const auto complaint =
            SaveHotKeyAssignment(m_store, slot, original, m_key, m_command->currentIndex())) {
        QWidget* field = complaint->field == static_cast<int>(HotKeyField::ChangeButton)
                             ? static_cast<QWidget*>(m_change)
                             : m_keyText;
        ShowComplaint(m_prompter, *complaint, field);
        return;
    }
    QDialog::accept();
}

}  // namespace sonaro
