#pragma once

#include <QPixmap>
#include <QWidget>

#include "audio/level_set.h"

namespace sonaro {

// The record-volume dialog's simple level bar: one band per channel on the capture scale (-36 to
// +12 dB), a green pattern up to 0 dB and a red one above, on a dark background. Gray while
// disabled.
class LDBDisplay : public QWidget {
    Q_OBJECT

  public:
    explicit LDBDisplay(QWidget* parent = nullptr);

    // Repaints only the parts of the bands that changed while the channel count stays the same.
    void SetLevels(const LevelSet* levels);
    const LevelSet& levels() const { return m_levels; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect bandRect(int channel) const;

    LevelSet m_levels;
    QPixmap m_green;
    QPixmap m_red;
};

}  // namespace sonaro
