#pragma once

#include <QWidget>

class QLineEdit;

namespace sonaro {

// A dB slider with a number box ("-12dB", "--dB" at -127 and below). Typing parses the box on
// every change and tells the parent at once; mouse changes are told after the event returns.
// `sliderOnly` leaves out the number box; the keypad's + and - then step the value by 1 without
// telling the parent.
class LDBEdit : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kThumbWidth = 12;
    static constexpr int kBoxId = 100;

    explicit LDBEdit(QWidget* parent = nullptr, bool sliderOnly = false);

    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // Held to [minimum, maximum]; repaints the thumb and rewrites the box. Does not notify.
    void setValue(int value);
    void setRange(int minimum, int maximum);
    // The number box; null in the slider-only style.
    QLineEdit* numberBox() const { return m_box; }
    // The slider's part of the control and the thumb's place in it.
    QRect sliderRect() const;
    QRect thumbRect() const;
    // The value under pointer position `x` (control coordinates).
    int valueAt(int x) const;

    QSize sizeHint() const override;

  signals:
    // The user changed the value (the EN_CHANGE of the control).
    void changed(int value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onTextEdited(const QString& text);
    void setFromMouse(int x);
    void storeValue(int value);
    void writeBox();
    int boxWidth() const;

    QLineEdit* m_box = nullptr;
    int m_value = 0;
    int m_minimum = -36;
    int m_maximum = 12;
    bool m_tracking = false;
};

}  // namespace sonaro
