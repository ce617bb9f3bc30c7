#include "ui/decibel_edit.h"

#include <QHBoxLayout>
#include <QSlider>
#include <QSpinBox>

namespace sonaro {

DecibelEdit::DecibelEdit(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_slider(new QSlider(Qt::Horizontal, this)), m_box(new QSpinBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_box);
    m_slider->setRange(minimum, maximum);
    m_box->setRange(minimum, maximum);
    m_box->setSuffix(QStringLiteral("dB"));
    m_box->setAlignment(Qt::AlignRight);
    setFocusProxy(m_box);
    connect(m_slider, &QSlider::valueChanged, m_box, &QSpinBox::setValue);
    connect(m_box, &QSpinBox::valueChanged, m_slider, &QSlider::setValue);
    connect(m_box, &QSpinBox::valueChanged, this, &DecibelEdit::valueChanged);
}

int DecibelEdit::value() const {
    return m_box->value();
}

void DecibelEdit::setValue(int value) {
    m_box->setValue(value);
}

}  // namespace sonaro
