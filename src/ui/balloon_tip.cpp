#include "ui/balloon_tip.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace sonaro {

QPointer<BalloonTip> BalloonTip::s_current;

BalloonTip::BalloonTip(QWidget* field, const QString& title, const QString& text)
    : QFrame(field->window(), Qt::ToolTip), m_title(title), m_text(text), m_field(field) {
    setObjectName(QStringLiteral("BalloonTip"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    setStyleSheet(QStringLiteral("sonaro--BalloonTip { background: #ffffe1; }"));
    auto* layout = new QVBoxLayout(this);
    if (!title.isEmpty()) {
        auto* heading = new QLabel(title, this);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        layout->addWidget(heading);
    }
    auto* body = new QLabel(text, this);
    body->setWordWrap(true);
    body->setMaximumWidth(320);
    layout->addWidget(body);
    QTimer::singleShot(kShowMs, this, &QWidget::close);
}

void BalloonTip::Show(QWidget* field, const QString& title, const QString& text) {
    HideCurrent();
    field->setFocus(Qt::OtherFocusReason);
    auto* tip = new BalloonTip(field, title, text);
    tip->adjustSize();
    tip->move(field->mapToGlobal(QPoint(field->width() / 4, field->height())));
    tip->show();
    s_current = tip;
}

BalloonTip* BalloonTip::Current() {
    return s_current.data();
}

void BalloonTip::HideCurrent() {
    if (s_current) {
        s_current->close();
        s_current = nullptr;
    }
}

void BalloonTip::mousePressEvent(QMouseEvent*) {
    close();
}

}  // namespace sonaro
