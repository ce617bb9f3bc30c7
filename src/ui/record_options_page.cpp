#include "ui/record_options_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "record/input_selection.h"
#include "record/record_options.h"
#include "ui/ldb_edit.h"
#include "ui/record_setting_dlg.h"

namespace sonaro {
namespace {

enum Group { kLevelsGroup = 0, kMaxTimeGroup = 1 };

QSpinBox* timeField(int maximum, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, maximum);
    spin->setAlignment(Qt::AlignRight);
    return spin;
}

}  // namespace

RecordOptionsPage::RecordOptionsPage(OptionsServices& services, QWidget* parent)
    : OptionsPage(services, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildRecordingFrame());
    layout->addWidget(buildMaxTimeFrame());
    m_launch =
        new QCheckBox(QStringLiteral("Launch recordings window when you stop recording"), this);
    layout->addWidget(m_launch);
    layout->addStretch(1);
    watch(m_device, kLevelsGroup);
    watch(m_channel, kLevelsGroup);
    watch(m_volume, kLevelsGroup);
    watch(m_voiceActivate, kLevelsGroup);
    watch(m_voiceLevel, kLevelsGroup);
    watch(m_preRoll, kLevelsGroup);
    watch(m_preRollMs, kLevelsGroup);
    watch(m_hangMs, kLevelsGroup);
    watch(m_launch, kLevelsGroup);
    watch(m_limit, kMaxTimeGroup);
    watch(m_hours, kMaxTimeGroup);
    watch(m_minutes, kMaxTimeGroup);
    watch(m_seconds, kMaxTimeGroup);
    watch(m_stop, kMaxTimeGroup);
    watch(m_restart, kMaxTimeGroup);
    connect(m_device, &QComboBox::currentIndexChanged, this, &RecordOptionsPage::fillChannels);
    connect(m_mixer, &QPushButton::clicked, this, [this] { OpenRecordMixer(m_services.prompter); });
}

QWidget* RecordOptionsPage::buildRecordingFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Recording"), this);
    auto* form = new QFormLayout(frame);
    m_device = new QComboBox(frame);
    m_channel = new QComboBox(frame);
    m_volume = new LDBEdit(frame);
    m_mixer = new QPushButton(QString::fromUtf8(LRecordSettingDlg::kMixerButtonText), frame);
    m_voiceActivate = new QCheckBox(QStringLiteral("Voice Activate Level"), frame);
    m_voiceLevel = new LDBEdit(frame);
    form->addRow(QStringLiteral("Record Device:"), m_device);
    form->addRow(QStringLiteral("Input Channel:"), m_channel);
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(m_volume, 1);
    volumeRow->addWidget(m_mixer);
    form->addRow(QStringLiteral("Record Volume:"), volumeRow);
    form->addRow(m_voiceActivate, m_voiceLevel);
    m_preRoll = new QCheckBox(QStringLiteral("Keep sound before the voice (ms):"), frame);
    m_preRoll->setObjectName(QStringLiteral("preRoll"));
    m_preRollMs = new QSpinBox(frame);
    m_preRollMs->setRange(kMinPreRollMs, kMaxPreRollMs);
    m_preRollMs->setSingleStep(50);
    m_preRollMs->setObjectName(QStringLiteral("preRollMs"));
    form->addRow(m_preRoll, m_preRollMs);
    m_hangMs = new QSpinBox(frame);
    m_hangMs->setRange(kMinHangMs, kMaxHangMs);
    m_hangMs->setSingleStep(500);
    m_hangMs->setObjectName(QStringLiteral("hangMs"));
    form->addRow(QStringLiteral("Wait for voice after quiet of (ms):"), m_hangMs);
    return frame;
}

QWidget* RecordOptionsPage::buildMaxTimeFrame() {
    auto* frame = new QGroupBox(QStringLiteral("Maximum Recording Time"), this);
    auto* layout = new QVBoxLayout(frame);
    auto* timeRow = new QHBoxLayout;
    m_limit = new QCheckBox(QStringLiteral("Limit maximum recording time (h:mm:ss):"), frame);
    m_hours = timeField(2, frame);
    m_minutes = timeField(59, frame);
    m_seconds = timeField(59, frame);
    timeRow->addWidget(m_limit);
    timeRow->addWidget(m_hours);
    timeRow->addWidget(new QLabel(QStringLiteral(":"), frame));
    timeRow->addWidget(m_minutes);
    timeRow->addWidget(new QLabel(QStringLiteral(":"), frame));
    timeRow->addWidget(m_seconds);
    timeRow->addStretch(1);
    layout->addLayout(timeRow);
    m_whenReached = new QLabel(QStringLiteral("When the maximum recording time is reached"), frame);
    m_stop = new QRadioButton(QStringLiteral("Stop recording"), frame);
    m_restart = new QRadioButton(QStringLiteral("Create and start new recording"), frame);
    auto* choice = new QButtonGroup(frame);
    choice->addButton(m_stop);
    choice->addButton(m_restart);
    layout->addWidget(m_whenReached);
    layout->addWidget(m_stop);
    layout->addWidget(m_restart);
    return frame;
}

void RecordOptionsPage::fillChannels() {
    const int kept = std::max(m_channel->currentIndex(), 0);
    m_channel->clear();
    for (const std::string& item : SourceListItems(m_services.devices, m_device->currentIndex())) {
        m_channel->addItem(ToQt(item));
    }
    m_channel->setCurrentIndex(kept < m_channel->count() ? kept : 0);
}

void RecordOptionsPage::Load() {
    m_device->clear();
    for (const std::string& item : DeviceListItems(m_services.devices)) {
        m_device->addItem(ToQt(item));
    }
    const InputSelection selection = LoadInputSelection(m_services.settings, m_services.devices);
    m_device->setCurrentIndex(selection.deviceNumber);
    fillChannels();
    m_channel->setCurrentIndex(selection.sourceNumber < m_channel->count() ? selection.sourceNumber
                                                                           : 0);
    const RecordLevelOptions levels = LoadRecordLevelOptions(m_services.settings);
    m_volume->setValue(levels.recordVolume);
    m_voiceActivate->setChecked(levels.voiceActivate);
    m_voiceLevel->setValue(levels.voiceActivateLevel);
    m_preRoll->setChecked(levels.voicePreRollMs > 0);
    m_preRollMs->setValue(levels.voicePreRollMs > 0 ? levels.voicePreRollMs : kSuggestedPreRollMs);
    m_hangMs->setValue(levels.voiceHangMs);
    m_launch->setChecked(levels.launchPlayWhenStop);
    const MaxTimeOptions maxTime = LoadMaxTimeOptions(m_services.settings);
    m_limit->setChecked(maxTime.limit);
    m_hours->setValue(maxTime.hours);
    m_minutes->setValue(maxTime.minutes);
    m_seconds->setValue(maxTime.seconds);
    m_stop->setChecked(maxTime.stopAtMax);
    m_restart->setChecked(!maxTime.stopAtMax);
}

void RecordOptionsPage::UpdateEnabling() {
    const bool voice = m_voiceActivate->isChecked();
    m_voiceLevel->setEnabled(voice);
    m_preRoll->setEnabled(voice);
    m_preRollMs->setEnabled(voice && m_preRoll->isChecked());
    m_hangMs->setEnabled(voice);
    const bool limit = m_limit->isChecked();
    for (QWidget* widget : {static_cast<QWidget*>(m_hours), static_cast<QWidget*>(m_minutes),
                            static_cast<QWidget*>(m_seconds), static_cast<QWidget*>(m_whenReached),
                            static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_restart)}) {
        widget->setEnabled(limit);
    }
}

std::optional<FieldComplaint> RecordOptionsPage::SaveChanged() {
    if (groupChanged(kLevelsGroup)) {
        SaveInputSelection(
            m_services.settings, m_services.devices,
            {std::max(m_device->currentIndex(), 0), std::max(m_channel->currentIndex(), 0)});
        RecordLevelOptions levels;
        levels.recordVolume = m_volume->value();
        levels.voiceActivate = m_voiceActivate->isChecked();
        levels.voiceActivateLevel = m_voiceLevel->value();
        levels.launchPlayWhenStop = m_launch->isChecked();
        levels.voicePreRollMs = m_preRoll->isChecked() ? m_preRollMs->value() : 0;
        levels.voiceHangMs = m_hangMs->value();
        SaveRecordLevelOptions(m_services.settings, levels);
    }
    if (groupChanged(kMaxTimeGroup)) {
        return SaveMaxTimeOptions(m_services.settings,
                                  {m_limit->isChecked(), m_hours->value(), m_minutes->value(),
                                   m_seconds->value(), m_stop->isChecked()});
    }
    return std::nullopt;
}

QWidget* RecordOptionsPage::fieldWidget(int field) {
    return field == static_cast<int>(MaxTimeField::Hours) ? m_hours : m_seconds;
}

}  // namespace sonaro
