#include "ui/hot_keys_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/hot_key_dialog.h"

namespace sonaro {

HotKeysPage::HotKeysPage(OptionsServices& services, QWidget* parent)
    : OptionsPage(services, parent), m_store(services.settings) {
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("System-Wide Hot-Key Assignment"), this);
    auto* inner = new QVBoxLayout(frame);
    auto* note = new QLabel(
        QStringLiteral("These system-wide hot-keys can be used when the program is in the "
                       "background"),
        frame);
    note->setWordWrap(true);
    inner->addWidget(note);
    m_unavailable = new QLabel(
        QStringLiteral("System-wide hot-keys are unavailable in this session: the desktop offers "
                       "no way to register them (no X11 display and no desktop portal with "
                       "global shortcuts)."),
        frame);
    m_unavailable->setWordWrap(true);
    m_unavailable->setVisible(false);
    inner->addWidget(m_unavailable);
    m_list = new QTreeWidget(frame);
    m_list->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Command")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->header()->setSectionResizeMode(QHeaderView::Stretch);
    inner->addWidget(m_list, 1);
    auto* buttons = new QHBoxLayout;
    m_add = new QPushButton(QStringLiteral("Add..."), frame);
    m_change = new QPushButton(QStringLiteral("Change..."), frame);
    m_delete = new QPushButton(QStringLiteral("Delete..."), frame);
    buttons->addStretch(1);
    buttons->addWidget(m_add);
    buttons->addWidget(m_change);
    buttons->addWidget(m_delete);
    inner->addLayout(buttons);
    layout->addWidget(frame);
    connect(m_add, &QPushButton::clicked, this, &HotKeysPage::addHotKey);
    connect(m_change, &QPushButton::clicked, this, &HotKeysPage::changeHotKey);
    connect(m_delete, &QPushButton::clicked, this, &HotKeysPage::deleteHotKeys);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &HotKeysPage::UpdateEnabling);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &HotKeysPage::changeHotKey);
}

void HotKeysPage::Load() {
    m_hotKeys = m_store.HotKeys();
    m_unavailable->setVisible(m_services.systemHotKeysAvailable &&
                              !m_services.systemHotKeysAvailable());
    m_list->clear();
    for (const HotKey& hotKey : m_hotKeys) {
        m_list->addTopLevelItem(new QTreeWidgetItem(
            {ToQt(KeyText(hotKey.key)), ToQt(HotKeyCommandName(hotKey.command))}));
    }
    UpdateEnabling();
}

void HotKeysPage::UpdateEnabling() {
    const int selected = static_cast<int>(m_list->selectedItems().size());
    m_change->setEnabled(selected == 1);
    m_delete->setEnabled(selected > 0);
}

QWidget* HotKeysPage::fieldWidget(int) {
    return m_list;
}

void HotKeysPage::addHotKey() {
    HotKeyDialog dialog(m_store, m_services.prompter, std::nullopt, this);
    if (dialog.exec() == QDialog::Accepted) {
        Load();
    }
}

void HotKeysPage::changeHotKey() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0 || row >= static_cast<int>(m_hotKeys.size())) {
        return;
    }
    HotKeyDialog dialog(m_store, m_services.prompter, m_hotKeys[static_cast<std::size_t>(row)],
                        this);
    if (dialog.exec() == QDialog::Accepted) {
        Load();
    }
}

void HotKeysPage::deleteHotKeys() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty() ||
        m_services.prompter.ShowMessage({"Delete the selected hot-key(s)?", "Delete Hot-Key(s)",
                                         PromptButtons::OkCancel, PromptIcon::Question,
                                         PromptAnswer::Cancel}) != PromptAnswer::Ok) {
        return;
    }
    for (QTreeWidgetItem* item : selected) {
        const int row = m_list->indexOfTopLevelItem(item);
        m_store.DeleteHotKey(m_hotKeys[static_cast<std::size_t>(row)].slot);
    }
    Load();
}

}  // namespace sonaro
