#include "ui/player_level_meter.h"

#include <QPainter>

#include <algorithm>

namespace sonaro {

PlayerLevelMeter::PlayerLevelMeter(QWidget* parent) : QWidget(parent) {
    m_levels.count = 2;
    m_levels.levels.fill(LevelSet::kSilence);
    m_fallTimer.setInterval(PeakMeterScale::kFallTimerMs);
    connect(&m_fallTimer, &QTimer::timeout, this, &PlayerLevelMeter::fallTick);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize PlayerLevelMeter::sizeHint() const {
    return {300, 2 * fontMetrics().height() + 6};
}

QRect PlayerLevelMeter::bandArea() const {
    const int labels = fontMetrics().height() + 3;
    return {0, 0, width(), std::max(height() - labels, 2)};
}

void PlayerLevelMeter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_scale.Resize(width());
}

void PlayerLevelMeter::SetLevels(const LevelSet* levels) {
    if (levels == nullptr) {
        return;
    }
    m_levels = *levels;
    if (m_scale.width() != width()) {
        m_scale.Resize(width());
    }
    for (int channel = 0; channel < std::min<int>(m_levels.count, LevelSet::kMaxChannels);
         ++channel) {
        bool raised = false;
        m_scale.ApplyLevel(channel, m_levels.levels[channel], raised);
        if (raised && !m_fallTimer.isActive()) {
            m_fallTimer.start();
        }
    }
    update();
}

void PlayerLevelMeter::fallTick() {
    if (!m_scale.Tick()) {
        m_fallTimer.stop();
    }
    update();
}

void PlayerLevelMeter::paintScale(QPainter& painter) const {
    // The step for the width assumes a small font: with the font in use it grows until no two
    // labels touch, and each label is centred on its tick without leaving the meter.
    const QFontMetrics metrics = fontMetrics();
    const int room = metrics.horizontalAdvance(QStringLiteral("-48")) + metrics.averageCharWidth();
    const int span = PeakMeterScale::kMaxDb - PeakMeterScale::kMinDb;
    int step = PeakMeterScale::TickStep(width());
    const auto crowded = [&] {
        for (int db = PeakMeterScale::kMinDb; db + step <= PeakMeterScale::kMaxDb; db += step) {
            if (m_scale.PositionOf(db + step) - m_scale.PositionOf(db) < room) {
                return true;
            }
        }
        return false;
    };
    while (step < span && crowded()) {
        step *= 2;
    }
    const QRect bands = bandArea();
    const int labelTop = bands.bottom() + 2;
    painter.setPen(palette().color(QPalette::WindowText));
    for (int db = PeakMeterScale::kMinDb; db <= PeakMeterScale::kMaxDb; db += step) {
        const int x = std::min(m_scale.PositionOf(db), width() - 1);
        painter.drawLine(x, labelTop, x, labelTop + 2);
        const QString text = QString::number(db);
        const int textWidth = metrics.horizontalAdvance(text);
        painter.drawText(std::clamp(x - textWidth / 2, 0, std::max(width() - textWidth, 0)),
                         labelTop + 3 + metrics.ascent(), text);
    }
}

void PlayerLevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    paintScale(painter);
    const QRect area = bandArea();
    const int count = std::max<int>(std::min<int>(m_levels.count, LevelSet::kMaxChannels), 1);
    for (int channel = 0; channel < count; ++channel) {
        const PixelBand band = BandOf(channel, count, area.height(), 1);
        const int filled = channel < m_levels.count ? m_scale.LevelX(m_levels.levels[channel]) : 0;
        for (int x = 0; x < filled; ++x) {
            const MeterRgb rgb = m_scale.ColourAt(x);
            painter.fillRect(x, area.top() + band.top, 1, band.height,
                             QColor(rgb.red, rgb.green, rgb.blue));
        }
        if (channel < PeakMeterScale::kMarkers) {
            const int peakX = std::min(m_scale.marker(channel).position, width() - 1);
            painter.fillRect(peakX, area.top() + band.top, 1, band.height,
                             palette().color(QPalette::WindowText));
        }
    }
}

}  // namespace sonaro
