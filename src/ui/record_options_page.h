#pragma once

#include "ui/options_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace sonaro {

class LDBEdit;

// Page 0, "Record": input device and channel, record volume, voice activation, the maximum
// recording time and the recordings window at stop. Group 0: device and levels; group 1: the
// maximum time.
class RecordOptionsPage final : public OptionsPage {
    Q_OBJECT

  public:
    RecordOptionsPage(OptionsServices& services, QWidget* parent = nullptr);

    QComboBox* deviceList() const { return m_device; }
    QComboBox* channelList() const { return m_channel; }
    QCheckBox* voiceActivate() const { return m_voiceActivate; }
    LDBEdit* voiceLevel() const { return m_voiceLevel; }
    QCheckBox* limitTime() const { return m_limit; }
    QSpinBox* hours() const { return m_hours; }
    QSpinBox* minutes() const { return m_minutes; }
    QSpinBox* seconds() const { return m_seconds; }
    QRadioButton* stopAtMax() const { return m_stop; }
    QRadioButton* newAtMax() const { return m_restart; }
    QCheckBox* launchRecordings() const { return m_launch; }

  protected:
    void Load() override;
    void UpdateEnabling() override;
    std::optional<FieldComplaint> SaveChanged() override;
    QWidget* fieldWidget(int field) override;

  private:
    QWidget* buildRecordingFrame();
    QWidget* buildMaxTimeFrame();
    void fillChannels();

    QComboBox* m_device;
    QComboBox* m_channel;
    LDBEdit* m_volume;
    QPushButton* m_mixer;
    QCheckBox* m_voiceActivate;
    LDBEdit* m_voiceLevel;
    QCheckBox* m_preRoll;
    QSpinBox* m_preRollMs;
    QSpinBox* m_hangMs;
    QCheckBox* m_limit;
    QSpinBox* m_hours;
    QSpinBox* m_minutes;
    QSpinBox* m_seconds;
    QLabel* m_whenReached;
    QRadioButton* m_stop;
    QRadioButton* m_restart;
    QCheckBox* m_launch;
};

}  // namespace sonaro
