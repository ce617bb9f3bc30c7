#pragma once

#include <QTimer>
#include <QWidget>

#include "audio/level_set.h"
#include "record/peak_meter_scale.h"

namespace sonaro {

// The player's level meter: a scale from -48 to 0 dB of full scale, one gradient band per
// channel, and a peak line per channel that holds for 400 ms and then falls faster and faster.
class PlayerLevelMeter : public QWidget {
    Q_OBJECT

  public:
    explicit PlayerLevelMeter(QWidget* parent = nullptr);

    // Stores the set and repaints; a marker that rises starts the fall timer.
    void SetLevels(const LevelSet* levels);

    const PeakMeterScale& scale() const { return m_scale; }
    bool fallTimerActive() const { return m_fallTimer.isActive(); }
    // One fall-timer tick (the timer calls it every 50 ms).
    void fallTick();
    // The rows of the bands and of the scale labels below them.
    QRect bandArea() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void paintScale(class QPainter& painter) const;

    PeakMeterScale m_scale;
    LevelSet m_levels;
    QTimer m_fallTimer;
};

}  // namespace sonaro
