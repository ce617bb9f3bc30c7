#pragma once

#include <QComboBox>
#include <QWidget>

#include <optional>

#include "support/field_complaint.h"
#include "ui/options_services.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace sonaro {

class LDBEdit;

// One page of the options dialog: reads its settings when first shown, keeps two "changed"
// flags (one per group of its controls) and writes only the changed groups on OK.
class OptionsPage : public QWidget {
    Q_OBJECT

  public:
    OptionsPage(OptionsServices& services, QWidget* parent);

    // Reads the settings into the controls once, then applies the enabling rules.
    void EnsureLoaded();
    bool isLoaded() const { return m_loaded; }
    // Checks and writes the changed groups; false (after showing the complaint) keeps the
    // dialog open on this page. A page never shown writes nothing.
    bool Save();

    bool groupChanged(int group) const { return m_changed[group]; }

  protected:
    virtual void Load() = 0;
    virtual void UpdateEnabling() = 0;
    // The refusal, or nothing when the changed groups were written.
    virtual std::optional<FieldComplaint> SaveChanged() = 0;
    // The control a complaint's field number names.
    virtual QWidget* fieldWidget(int field) = 0;

    // Sets `group`'s flag and re-applies the enabling rules (nothing while loading).
    void markChanged(int group);
    // Touching these controls sets `group`'s flag and re-applies the enabling rules.
    void watch(QAbstractButton* button, int group);
    void watch(QLineEdit* edit, int group);
    void watch(QComboBox* combo, int group);
    void watch(QSpinBox* spin, int group);
    void watch(LDBEdit* edit, int group);

    OptionsServices& m_services;

  private:
    bool m_loaded = false;
    bool m_loading = false;
    bool m_changed[2] = {false, false};
};

// Shows a complaint at `field`: a balloon, or a message box when the complaint asks for one; an
// empty text only moves the focus.
void ShowComplaint(Prompter& prompter, const FieldComplaint& complaint, QWidget* field);

QString ToQt(std::string_view text);
std::string FromQt(const QString& text);

// A drop-down list of `items`.
template <typename Items>
QComboBox* ComboOf(const Items& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (std::string_view text : items) {
        list->addItem(ToQt(text));
    }
    return list;
}

}  // namespace sonaro
