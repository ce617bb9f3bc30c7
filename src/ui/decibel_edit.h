#pragma once

#include <QWidget>

class QSlider;
class QSpinBox;

namespace sonaro {

// A dB slider with a number box beside it ("-18dB"); both edit the same value.
class DecibelEdit final : public QWidget {
    Q_OBJECT

  public:
    DecibelEdit(int minimum, int maximum, QWidget* parent = nullptr);

    int value() const;
    void setValue(int value);
    QSpinBox* numberBox() const { return m_box; }

  signals:
    void valueChanged(int value);

  private:
    QSlider* m_slider;
    QSpinBox* m_box;
};

}  // namespace sonaro
