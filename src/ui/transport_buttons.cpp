#include "ui/transport_buttons.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QToolButton>

#include "app/window_commands.h"
#include "ui/dialog_units.h"
#include "ui/program_icons.h"

namespace sonaro {
namespace {

struct ButtonSpec {
    int command;
    ProgramImage image;
    const char* toolTip;
    const char* accessibleName;
};

constexpr ButtonSpec kSpecs[] = {
    {cmd::kButtonPlay, ProgramImage::Play, "Play Recording", "Play"},
    {cmd::kButtonRecord, ProgramImage::Record, "Start Recording (F5)", "Record"},
    {cmd::kButtonPause, ProgramImage::Pause, "Pause Recording (F6)", "Pause"},
    {cmd::kButtonStop, ProgramImage::Stop, "Stop and Mark Done (F7)", "Stop"},
    {cmd::kButtonGoToStart, ProgramImage::GoToStart, "Go to Start (Home)", "Go to Start"},
};

}  // namespace

TransportButtons::TransportButtons(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 5; ++i) {
        auto* button = new QToolButton(this);
        button->setIcon(ProgramIcon(kSpecs[i].image));
        button->setToolTip(QString::fromLatin1(kSpecs[i].toolTip));
        button->setAccessibleName(QString::fromLatin1(kSpecs[i].accessibleName));
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
        const int id = kSpecs[i].command;
        connect(button, &QToolButton::clicked, this, [this, button, id] {
            // The session decides what is lit; a click only asks.
            button->setChecked(!button->isChecked());
            emit command(id);
        });
        layout->addWidget(button);
        m_buttons[i] = button;
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TransportButtons::layoutFor(int windowWidth) {
    const QFontMetrics metrics = fontMetrics();
    const QSize size(windowWidth / 5 - DluX(metrics, 12), DluY(metrics, 19));
    const int iconSide = std::max(size.height() - 10, 12);
    auto* row = static_cast<QHBoxLayout*>(layout());
    const int gap = (windowWidth - 5 * size.width()) / 6;
    row->setContentsMargins(gap, 0, gap, 0);
    row->setSpacing(gap);
    for (QToolButton* button : m_buttons) {
        button->setFixedSize(size);
        button->setIconSize(QSize(iconSide, iconSide));
    }
}

void TransportButtons::setLit(Button which, bool lit) {
    button(which)->setChecked(lit);
}

bool TransportButtons::isLit(Button which) const {
    return button(which)->isChecked();
}

void TransportButtons::setPlayBusy(bool busy) {
    if (m_playBusy != busy) {
        m_playBusy = busy;
        button(Button::Play)
            ->setIcon(ProgramIcon(busy ? ProgramImage::PlayBusy : ProgramImage::Play));
    }
}

bool TransportButtons::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu) {
        emit command(cmd::kButtonMenu);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sonaro
