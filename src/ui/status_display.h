#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace sonaro {

// The display area of the main window: the recorder's state, the elapsed time, the current file,
// its format, the space left on the output volume and a bar of the volume's use.
class StatusDisplay : public QWidget {
    Q_OBJECT

  public:
    explicit StatusDisplay(QWidget* parent = nullptr);

    // 0 "Ready", 1 "Recording..." (in the recording colour), 2 "Waiting for voice input...",
    // other codes no text.
    void showIndicator(int code);
    // "%d:%.2d:%.2d"; a negative time gets a leading minus sign.
    void showTime(int ms);
    void showFileName(const QString& name);
    void showFormat(const QString& text);
    // Nothing shown when `text` is empty.
    void showSpace(const QString& text, double usedFraction);

    QString indicatorText() const;
    QString timeText() const;
    QString fileNameText() const;
    QString formatText() const;
    QString spaceText() const;
    int indicatorCode() const { return m_code; }

  private:
    QLabel* m_indicator = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_fileName = nullptr;
    QLabel* m_format = nullptr;
    QLabel* m_space = nullptr;
    QProgressBar* m_usage = nullptr;
    int m_code = 0;
};

// The elapsed-time text of `ms`.
QString ElapsedTimeText(int ms);

}  // namespace sonaro
