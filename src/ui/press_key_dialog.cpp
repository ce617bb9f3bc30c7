#include "ui/press_key_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hot_key_assignment.h"
#include "ui/qt_key_codes.h"

namespace sonaro {

PressKeyDialog::PressKeyDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Press Key"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Press key or key combination."), this));
    // The button never takes the focus or acts on Enter, so every key reaches the dialog.
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setFocusPolicy(Qt::NoFocus);
    cancel->setAutoDefault(false);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFocusPolicy(Qt::StrongFocus);
}

bool PressKeyDialog::event(QEvent* event) {
    // Key presses are taken here, before focus navigation (Tab) and the default button (Enter).
    if (event->type() != QEvent::KeyPress) {
        return QDialog::event(event);
    }
    const auto& press = static_cast<const QKeyEvent&>(*event);
    const KeyCode code = KeyCodeOfEvent(press);
    switch (ClassifyPressedKey(code)) {
        case PressedKey::Take:
            m_key = code;
            accept();
            break;
        case PressedKey::Cancel:
            reject();
            break;
        case PressedKey::Ignore:
            break;
    }
    return true;
}

}  // namespace sonaro
