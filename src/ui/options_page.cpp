#include "ui/options_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include "ui/balloon_tip.h"
#include "ui/ldb_edit.h"

namespace sonaro {

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    return text.toStdString();
}

void ShowComplaint(Prompter& prompter, const FieldComplaint& complaint, QWidget* field) {
    if (complaint.messageBoxIcon) {
        prompter.ShowMessage({complaint.text, complaint.title, PromptButtons::Ok,
                              *complaint.messageBoxIcon, PromptAnswer::Ok});
    }
    if (field == nullptr) {
        return;
    }
    if (complaint.text.empty() || complaint.messageBoxIcon) {
        field->setFocus(Qt::OtherFocusReason);
        return;
    }
    BalloonTip::Show(field, ToQt(complaint.title), ToQt(complaint.text));
}

OptionsPage::OptionsPage(OptionsServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {}

void OptionsPage::EnsureLoaded() {
    if (m_loaded) {
        return;
    }
    m_loading = true;
    Load();
    UpdateEnabling();
    m_loading = false;
    m_loaded = true;
}

bool OptionsPage::Save() {
    if (!m_loaded) {
        return true;
    }
    if (const auto complaint = SaveChanged()) {
        ShowComplaint(m_services.prompter, *complaint, fieldWidget(complaint->field));
        return false;
    }
    return true;
}

void OptionsPage::markChanged(int group) {
    if (m_loading) {
        return;
    }
    m_changed[group] = true;
    UpdateEnabling();
}

void OptionsPage::watch(QAbstractButton* button, int group) {
    connect(button, &QAbstractButton::toggled, this, [this, group] { markChanged(group); });
}

void OptionsPage::watch(QLineEdit* edit, int group) {
    connect(edit, &QLineEdit::textChanged, this, [this, group] { markChanged(group); });
}

void OptionsPage::watch(QComboBox* combo, int group) {
    connect(combo, &QComboBox::currentIndexChanged, this, [this, group] { markChanged(group); });
    if (combo->isEditable()) {
        connect(combo, &QComboBox::editTextChanged, this, [this, group] { markChanged(group); });
    }
}

void OptionsPage::watch(QSpinBox* spin, int group) {
    connect(spin, &QSpinBox::valueChanged, this, [this, group] { markChanged(group); });
}

void OptionsPage::watch(LDBEdit* edit, int group) {
    connect(edit, &LDBEdit::changed, this, [this, group] { markChanged(group); });
}

}  // namespace sonaro
