#include "ui/ldb_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include "record/level_meter_scale.h"

namespace sonaro {

LDBEdit::LDBEdit(QWidget* parent, bool sliderOnly) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (!sliderOnly) {
        m_box = new QLineEdit(this);
        m_box->setObjectName(QStringLiteral("dbBox%1").arg(kBoxId));
        m_box->setAlignment(Qt::AlignRight);
        m_box->installEventFilter(this);
        connect(m_box, &QLineEdit::textEdited, this, &LDBEdit::onTextEdited);
        setFocusProxy(m_box);
    }
    writeBox();
}

int LDBEdit::boxWidth() const {
    return m_box == nullptr ? 0
                            : m_box->fontMetrics().horizontalAdvance(QStringLiteral("-00dB")) + 2 +
                                  2 * m_box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
}

QSize LDBEdit::sizeHint() const {
    const int boxHeight = m_box == nullptr ? 0 : m_box->sizeHint().height();
    return {160 + boxWidth(), std::max(boxHeight, fontMetrics().height() + 6)};
}

QRect LDBEdit::sliderRect() const {
    return {0, 0, std::max(width() - boxWidth(), kThumbWidth + 1), height()};
}

QRect LDBEdit::thumbRect() const {
    const QRect slider = sliderRect();
    const int travel = slider.width() - kThumbWidth;
    const int left = (m_value - m_minimum) * travel / std::max(m_maximum - m_minimum, 1);
    return {left, 1, kThumbWidth, slider.height() - 2};
}

int LDBEdit::valueAt(int x) const {
    const int travel = std::max(sliderRect().width() - kThumbWidth, 1);
    const double fraction = static_cast<double>(x - kThumbWidth / 2) / travel;
    const long value = m_minimum + std::lround(fraction * (m_maximum - m_minimum));
    return static_cast<int>(std::clamp<long>(value, m_minimum, m_maximum));
}

void LDBEdit::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = std::max(maximum, minimum);
    setValue(m_value);
    update();
}

void LDBEdit::storeValue(int value) {
    const int held = std::clamp(value, m_minimum, m_maximum);
    if (held == m_value) {
        return;
    }
    const QRect before = thumbRect();
    m_value = held;
    update(before.adjusted(-kThumbWidth, -1, kThumbWidth, 1));
    update(thumbRect().adjusted(-kThumbWidth, -1, kThumbWidth, 1));
}

void LDBEdit::setValue(int value) {
    storeValue(value);
    writeBox();
}

void LDBEdit::writeBox() {
    if (m_box != nullptr) {
        m_box->setText(QString::fromStdString(DbEditText(m_value)));
    }
}

void LDBEdit::onTextEdited(const QString& text) {
    storeValue(ParseDbEditText(text.toStdString()));
    emit changed(m_value);
}

void LDBEdit::setFromMouse(int x) {
    const int before = m_value;
    setValue(valueAt(x));
    if (m_value != before) {
        QMetaObject::invokeMethod(
            this, [this] { emit changed(m_value); }, Qt::QueuedConnection);
    }
}

void LDBEdit::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !sliderRect().contains(pos)) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_tracking = true;
    setCursor(Qt::PointingHandCursor);
    setFromMouse(pos.x());
}

void LDBEdit::mouseMoveEvent(QMouseEvent* event) {
    if (m_tracking) {
        setFromMouse(event->position().toPoint().x());
    }
}

void LDBEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (m_tracking && event->button() == Qt::LeftButton) {
        m_tracking = false;
        unsetCursor();
    }
}

void LDBEdit::keyPressEvent(QKeyEvent* event) {
    const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
    if (m_box == nullptr && keypad && event->key() == Qt::Key_Plus) {
        setValue(m_value + 1);
    } else if (m_box == nullptr && keypad && event->key() == Qt::Key_Minus) {
        setValue(m_value - 1);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void LDBEdit::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (m_box != nullptr) {
        m_box->setFocus(event->reason());
    }
}

bool LDBEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_box && event->type() == QEvent::FocusIn) {
        // Selecting after the focus change, so a click in the box does not clear it again.
        QMetaObject::invokeMethod(
            this, [this] { m_box->setSelection(0, 8); }, Qt::QueuedConnection);
    } else if (watched == m_box && event->type() == QEvent::FocusOut) {
        writeBox();
    }
    return QWidget::eventFilter(watched, event);
}

void LDBEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_box != nullptr) {
        const QRect slider = sliderRect();
        m_box->setGeometry(slider.right() + 1, 0, width() - slider.width(), height());
    }
}

void LDBEdit::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect slider = sliderRect();
    const QPalette& colours = palette();
    const int grooveY = slider.center().y();
    const QRect groove(kThumbWidth / 2, grooveY - 2, slider.width() - kThumbWidth, 4);
    painter.setPen(colours.color(QPalette::Mid));
    painter.setBrush(colours.color(isEnabled() ? QPalette::Base : QPalette::Window));
    painter.drawRoundedRect(groove, 2, 2);
    if (isEnabled()) {
        const QRect filled(groove.left(), groove.top(), thumbRect().center().x() - groove.left(),
                           groove.height());
        painter.fillRect(filled.adjusted(1, 1, 0, -1), colours.color(QPalette::Highlight));
    }
    const QRect thumb = thumbRect().adjusted(1, 2, -1, -2);
    painter.setPen(colours.color(QPalette::Dark));
    painter.setBrush(colours.color(isEnabled() ? QPalette::Button : QPalette::Window));
    painter.drawRoundedRect(thumb, 3, 3);
}

}  // namespace sonaro
