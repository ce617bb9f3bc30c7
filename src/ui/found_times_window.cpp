#include "ui/found_times_window.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "recordings/speech_keywords.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"

namespace sonaro {

FoundTimesWindow::FoundTimesWindow(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("FoundTimesWindow"));
    setWindowTitle(QStringLiteral("Play Found Keyword"));
    m_times = new QListWidget(this);
    m_times->setObjectName(QStringLiteral("foundTimes"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* play = buttons->addButton(QStringLiteral("&Play"), QDialogButtonBox::ActionRole);
    play->setObjectName(QStringLiteral("playFound"));
    play->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_times);
    layout->addWidget(buttons);
    connect(play, &QPushButton::clicked, this, &FoundTimesWindow::choose);
    connect(m_times, &QListWidget::itemActivated, this, &FoundTimesWindow::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    move(m_settings.Read(setting::kFoundTimesX), m_settings.Read(setting::kFoundTimesY));
}

void FoundTimesWindow::SetTimes(const std::string& name, const std::string& times) {
    setWindowTitle(QStringLiteral("Play Found Keyword - %1").arg(QString::fromStdString(name)));
    m_times->clear();
    for (std::int64_t ms : ParseFoundTimes(times)) {
        auto* item = new QListWidgetItem(QString::fromStdString(FoundTimeText(ms)), m_times);
        item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(ms));
    }
    m_times->setCurrentRow(0);
}

std::int64_t FoundTimesWindow::StartFor(std::int64_t foundMs, const std::string& backStep) {
    // A day is more than any back step means; the bound keeps the product in range.
    const std::int64_t seconds =
        std::clamp<long>(std::strtol(backStep.c_str(), nullptr, 10), 0, 86400);
    return std::max<std::int64_t>(0, foundMs - seconds * 1000);
}

void FoundTimesWindow::choose() {
    const QListWidgetItem* item = m_times->currentItem();
    if (item == nullptr) {
        return;
    }
    emit playFrom(
        StartFor(item->data(Qt::UserRole).toLongLong(), m_settings.Read(setting::kBackStep)));
}

void FoundTimesWindow::done(int result) {
    m_settings.Write(setting::kFoundTimesX, pos().x());
    m_settings.Write(setting::kFoundTimesY, pos().y());
    QDialog::done(result);
}

}  // namespace sonaro
