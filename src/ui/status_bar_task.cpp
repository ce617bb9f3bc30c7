#include "ui/status_bar_task.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>

#include <cmath>

namespace sonaro {
namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

StatusBarTask::StatusBarTask(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("taskMessage"));
    m_message->setStyleSheet(QStringLiteral("color: #b00020"));
    m_message->setToolTip(tr("Click to dismiss"));
    m_message->installEventFilter(this);
    m_message->hide();
    m_busy = new QLabel(QString::fromLatin1(kBusyText), this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("taskStatus"));
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setMaximumWidth(80);
    m_bar->setTextVisible(false);
    m_cancel = new QPushButton(tr("Cancel"), this);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelRequested = true;
        m_cancel->setEnabled(false);
    });
    for (QWidget* part : {static_cast<QWidget*>(m_message), static_cast<QWidget*>(m_busy),
                          static_cast<QWidget*>(m_status), static_cast<QWidget*>(m_bar),
                          static_cast<QWidget*>(m_cancel)}) {
        row->addWidget(part);
    }
    setBusy(false);
}

bool StatusBarTask::IsCancelRequested() const {
    return m_cancelRequested.load();
}

void StatusBarTask::OnMessage(std::string_view text) {
    const QString message = qt(text);
    m_message->setText(message);
    m_message->setToolTip(message);
    m_message->setVisible(!message.isEmpty());
    show();
}

void StatusBarTask::OnStatus(std::string_view text, int kind) {
    if (kind != 0 && kind != 1) {
        return;
    }
    m_lines[static_cast<std::size_t>(kind)] = qt(text);
    QStringList shown;
    for (const QString& line : m_lines) {
        if (!line.isEmpty()) {
            shown << line;
        }
    }
    m_status->setText(shown.join(QStringLiteral("  \u2013  ")));
}

void StatusBarTask::OnProgress(double fraction) {
    if (fraction <= 0.0) {
        m_cancelRequested = false;
        setBusy(false);
        return;
    }
    setBusy(true);
    m_bar->setValue(static_cast<int>(std::lround(std::min(fraction, 1.0) * 100.0)));
}

void StatusBarTask::setBusy(bool busy) {
    for (QWidget* part : {static_cast<QWidget*>(m_busy), static_cast<QWidget*>(m_status),
                          static_cast<QWidget*>(m_bar), static_cast<QWidget*>(m_cancel)}) {
        part->setVisible(busy);
    }
    if (!busy) {
        m_lines = {};
        m_status->clear();
        m_cancel->setEnabled(true);
    }
    setVisible(busy || !m_message->isHidden());
}

bool StatusBarTask::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_message && event->type() == QEvent::MouseButtonRelease) {
        m_message->clear();
        m_message->hide();
        setBusy(m_busy->isVisibleTo(this));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sonaro
