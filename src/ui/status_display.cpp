#include "ui/status_display.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

namespace sonaro {

QString ElapsedTimeText(int ms) {
    const long long total = ms < 0 ? -static_cast<long long>(ms) : ms;
    const long long seconds = total / 1000;
    return QStringLiteral("%1%2:%3:%4")
        .arg(ms < 0 ? QStringLiteral("-") : QString())
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

StatusDisplay::StatusDisplay(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(250, 251, 253));
    setPalette(colours);
    m_indicator = new QLabel(this);
    QFont big = m_indicator->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    m_indicator->setFont(big);
    m_time = new QLabel(this);
    QFont clock = big;
    clock.setPointSizeF(big.pointSizeF() * 1.6);
    clock.setStyleHint(QFont::Monospace);
    clock.setFamily(QStringLiteral("monospace"));
    m_time->setFont(clock);
    m_time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_fileName = new QLabel(this);
    m_fileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_format = new QLabel(this);
    m_format->setForegroundRole(QPalette::PlaceholderText);
    m_space = new QLabel(this);
    m_usage = new QProgressBar(this);
    m_usage->setRange(0, 1000);
    m_usage->setTextVisible(false);
    m_usage->setMaximumHeight(fontMetrics().height() * 2 / 3);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(2);
    grid->addWidget(m_indicator, 0, 0);
    grid->addWidget(m_time, 0, 1, 2, 1);
    grid->addWidget(m_fileName, 1, 0);
    grid->addWidget(m_format, 2, 0, 1, 2);
    grid->addWidget(m_space, 3, 0);
    grid->addWidget(m_usage, 3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    showIndicator(0);
    showTime(0);
    showFileName({});
    showSpace({}, 0.0);
}

void StatusDisplay::showIndicator(int code) {
    static const char* const kTexts[] = {"Ready", "Recording...", "Waiting for voice input..."};
    m_code = code;
    m_indicator->setText(code >= 0 && code <= 2 ? QString::fromLatin1(kTexts[code]) : QString());
    QPalette colours = m_indicator->palette();
    colours.setColor(QPalette::WindowText, code == 1 ? QColor(200, 30, 20) : QColor(30, 70, 140));
    m_indicator->setPalette(colours);
}

void StatusDisplay::showTime(int ms) {
    m_time->setText(ElapsedTimeText(ms));
}

void StatusDisplay::showFileName(const QString& name) {
    m_fileName->setText(QStringLiteral("Filename: %1").arg(name));
    m_fileName->setToolTip(name);
}

void StatusDisplay::showFormat(const QString& text) {
    m_format->setText(text);
}

void StatusDisplay::showSpace(const QString& text, double usedFraction) {
    m_space->setText(text);
    m_usage->setEnabled(!text.isEmpty());
    m_usage->setValue(static_cast<int>(std::clamp(usedFraction, 0.0, 1.0) * 1000));
}

QString StatusDisplay::indicatorText() const {
    return m_indicator->text();
}
QString StatusDisplay::timeText() const {
    return m_time->text();
}
QString StatusDisplay::fileNameText() const {
    return m_fileName->text();
}
QString StatusDisplay::formatText() const {
    return m_format->text();
}
QString StatusDisplay::spaceText() const {
    return m_space->text();
}

}  // namespace sonaro
