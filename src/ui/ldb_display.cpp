#include "ui/ldb_display.h"

#include <QPainter>

#include "record/level_meter_scale.h"

namespace sonaro {
namespace {

// "LDBGreen" and "LDBRed": a lit segment two pixels wide, then a darker gap.
QPixmap segmentPattern(const QColor& lit) {
    QPixmap pattern(3, 8);
    pattern.fill(lit.darker(260));
    QPainter painter(&pattern);
    painter.fillRect(0, 1, 2, 6, lit);
    painter.fillRect(0, 1, 2, 1, lit.lighter(140));
    return pattern;
}

}  // namespace

LDBDisplay::LDBDisplay(QWidget* parent)
    : QWidget(parent),
      m_green(segmentPattern(QColor(0, 220, 0))),
      m_red(segmentPattern(QColor(235, 0, 0))) {
    m_levels.count = 1;
    m_levels.levels.fill(LevelSet::kSilence);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize LDBDisplay::sizeHint() const {
    return {200, 14};
}

QRect LDBDisplay::bandRect(int channel) const {
    const int count = std::max<int>(m_levels.count, 1);
    const int top = channel * height() / count;
    const int bottom = (channel + 1) * height() / count;
    return {0, top, width(), bottom - top};
}

void LDBDisplay::SetLevels(const LevelSet* levels) {
    if (levels == nullptr) {
        return;
    }
    const int count = std::min<int>(levels->count, LevelSet::kMaxChannels);
    if (count != m_levels.count) {
        m_levels.count = static_cast<std::uint8_t>(count);
        for (int i = 0; i < count; ++i) {
            m_levels.levels[i] = static_cast<std::int8_t>(ClampDbDisplayLevel(levels->levels[i]));
        }
        update();
        return;
    }
    for (int i = 0; i < count; ++i) {
        const int level = ClampDbDisplayLevel(levels->levels[i]);
        if (level == m_levels.levels[i]) {
            continue;
        }
        const int oldX = DbDisplayX(m_levels.levels[i], width());
        const int newX = DbDisplayX(level, width());
        m_levels.levels[i] = static_cast<std::int8_t>(level);
        const QRect band = bandRect(i);
        const int left = std::min(oldX, newX);
        update(QRect(left, band.top(), std::abs(newX - oldX) + 1, band.height()));
    }
}

void LDBDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) {
        painter.fillRect(rect(), Qt::gray);
        return;
    }
    painter.fillRect(rect(), QColor(kDbDisplayBackground.red, kDbDisplayBackground.green,
                                    kDbDisplayBackground.blue));
    const int zeroX = DbDisplayX(0, width());
    for (int i = 0; i < m_levels.count; ++i) {
        const QRect band = bandRect(i);
        const int level = m_levels.levels[i];
        const int greenEnd = DbDisplayX(std::min(level, 0), width());
        painter.fillRect(QRect(0, band.top(), greenEnd, band.height()), QBrush(m_green));
        if (level > 0) {
            const int redEnd = DbDisplayX(level, width());
            painter.fillRect(QRect(zeroX, band.top(), redEnd - zeroX, band.height()),
                             QBrush(m_red));
        }
    }
}

}  // namespace sonaro
