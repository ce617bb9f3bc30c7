#include "ui/voice_level_meter.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "ui/dialog_units.h"

namespace sonaro {
namespace {

constexpr int kMarginDlu = 4;
constexpr int kTabWidthDlu = 70;
constexpr int kTabHeightDlu = 10;
constexpr int kTabOffsetDlu = 2;
constexpr int kLabelFontDlu = 7;
constexpr int kChannelGap = 1;

QColor toQColor(const MeterRgb& rgb) {
    return {rgb.red, rgb.green, rgb.blue};
}

// The tab's label font: normal weight, lines at most 7 vertical dialog units high.
QFont labelFont(const QFont& base, const QFontMetrics& metrics) {
    QFont font = base;
    font.setWeight(QFont::Normal);
    const int lineHeight = std::max(DluY(metrics, kLabelFontDlu), 6);
    int pixels = lineHeight;
    font.setPixelSize(pixels);
    while (pixels > 6 && QFontMetrics(font).height() > lineHeight) {
        font.setPixelSize(--pixels);
    }
    return font;
}

}  // namespace

VoiceLevelMeter::VoiceLevelMeter(QWidget* parent) : QWidget(parent) {
    m_levels.count = 2;
    m_levels.levels.fill(LevelSet::kSilence);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

VoiceMeterScale VoiceLevelMeter::scale() const {
    return VoiceMeterScale(width(), DluX(fontMetrics(), kMarginDlu));
}

QRect VoiceLevelMeter::tabRect() const {
    const QFontMetrics metrics = fontMetrics();
    const int markerX = scale().LevelX(m_markerLevel);
    const int offset = DluX(metrics, kTabOffsetDlu);
    // At least the tab width, wider when the label needs it, so the level is always readable.
    const QFontMetrics label(labelFont(font(), metrics));
    const QString text = QString::fromStdString(MarkerTabText(m_label, m_markerLevel));
    const int width = std::max(DluX(metrics, kTabWidthDlu), label.horizontalAdvance(text) + 8);
    int x = markerX - offset;
    // Near the loud end the tab hangs to the left of the marker, so its text is never cut off.
    if (x + width > this->width()) {
        x = std::max(0, markerX + offset - width);
    }
    return {x, 0, width, DluY(metrics, kTabHeightDlu)};
}

QRect VoiceLevelMeter::bandArea() const {
    const int top = m_markerShown ? tabRect().bottom() + 2 : 1;
    return QRect(0, top, width(), std::max(height() - 2 - top, 1));
}

void VoiceLevelMeter::SetLevels(const LevelSet* levels) {
    if (levels == nullptr) {
        return;
    }
    const LevelSet before = m_levels;
    m_levels = *levels;
    if (before.count != levels->count) {
        update();
        return;
    }
    const PixelSpan span = scale().ChangedSpan(before, m_levels);
    if (!span.empty()) {
        update(QRect(span.left, 0, span.right - span.left + 1, height()));
    }
}

void VoiceLevelMeter::SetMarkerShown(bool shown) {
    if (m_markerShown != shown) {
        m_markerShown = shown;
        update();
    }
}

void VoiceLevelMeter::SetMarkerLevel(std::int8_t level) {
    if (m_markerLevel != level) {
        m_markerLevel = level;
        update();
    }
}

void VoiceLevelMeter::SetMarkerEnabled(bool enabled) {
    m_markerEnabled = enabled;
    if (!enabled) {
        m_dragging = false;
    }
    update();
}

void VoiceLevelMeter::SetMarkerLabel(const std::string& label, const std::string& enableText,
                                     const std::string& disableText) {
    m_label = label.substr(0, 259);
    m_enableText = enableText;
    m_disableText = disableText;
    update();
}

QString VoiceLevelMeter::toggleText() const {
    if (m_markerShown) {
        return QString::fromStdString(m_disableText.empty() ? "Disable" : m_disableText);
    }
    return QString::fromStdString(m_enableText.empty() ? "Enable" : m_enableText);
}

void VoiceLevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(kMeterBackground));
    const VoiceMeterScale meterScale = scale();
    painter.setPen(QColor(120, 120, 120));
    const int baseline = height() - 1;
    painter.drawLine(meterScale.margin(), baseline, width() - meterScale.margin(), baseline);
    paintBands(painter, meterScale);
    if (m_markerShown) {
        paintMarker(painter, meterScale);
    }
}

void VoiceLevelMeter::paintBands(QPainter& painter, const VoiceMeterScale& meterScale) const {
    const QRect area = bandArea();
    const int count = std::min<int>(m_levels.count, LevelSet::kMaxChannels);
    for (int channel = 0; channel < count; ++channel) {
        const PixelBand band = BandOf(channel, count, area.height(), kChannelGap);
        const int segments = meterScale.SegmentCount(m_levels.levels[channel]);
        for (int i = 0; i < segments; ++i) {
            const int x = meterScale.SegmentX(i);
            painter.fillRect(x, area.top() + band.top, VoiceMeterScale::kSegmentWidth, band.height,
                             toQColor(meterScale.SegmentColour(x)));
        }
    }
}

void VoiceLevelMeter::paintMarker(QPainter& painter, const VoiceMeterScale& meterScale) const {
    const QRect tab = tabRect();
    const int markerX = meterScale.LevelX(m_markerLevel);
    painter.setPen(QColor(60, 60, 90));
    painter.drawLine(markerX, tab.bottom(), markerX, height() - 1);
    painter.fillRect(tab, toQColor(m_markerEnabled ? kMarkerTabEnabled : kMarkerTabDisabled));
    painter.drawRect(tab.adjusted(0, 0, -1, -1));
    painter.setFont(labelFont(font(), fontMetrics()));
    painter.setPen(Qt::black);
    const QString text = QString::fromStdString(MarkerTabText(m_label, m_markerLevel));
    painter.drawText(tab.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
}

void VoiceLevelMeter::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && m_markerShown && m_markerEnabled &&
        tabRect().contains(pos)) {
        m_dragging = true;
        m_pressX = pos.x();
        m_levelAtPress = m_markerLevel;
        return;
    }
    QWidget::mousePressEvent(event);
}

void VoiceLevelMeter::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int x = event->position().toPoint().x();
    const auto level = static_cast<std::int8_t>(scale().DraggedLevel(m_levelAtPress, m_pressX, x));
    if (level != m_markerLevel) {
        m_markerLevel = level;
        update();
        if (m_listener != nullptr) {
            m_listener->OnMarkerMoved(level);
        }
    }
}

void VoiceLevelMeter::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void VoiceLevelMeter::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_markerEnabled) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    QAction* toggle = menu.addAction(toggleText());
    if (menu.exec(event->globalPos()) != toggle) {
        return;
    }
    m_markerShown = !m_markerShown;
    m_dragging = false;
    update();
    if (m_listener != nullptr) {
        m_listener->OnMarkerToggled(m_markerShown);
    }
}

}  // namespace sonaro
