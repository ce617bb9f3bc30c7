#pragma once

#include "ui/options_page.h"

class QCheckBox;
class QLineEdit;

namespace sonaro {

// Page 3, "General": tones, start-up and the low disk space warning. Group 0: tones and
// start-up; group 1: the warning.
class GeneralOptionsPage final : public OptionsPage {
    Q_OBJECT

  public:
    GeneralOptionsPage(OptionsServices& services, QWidget* parent = nullptr);

    QCheckBox* recordTone() const { return m_recordTone; }
    QCheckBox* stoppedTone() const { return m_stoppedTone; }
    QCheckBox* intervalTone() const { return m_intervalTone; }
    QLineEdit* intervalField() const { return m_interval; }
    QCheckBox* runAtLogon() const { return m_runAtLogon; }
    QCheckBox* recordWhenRun() const { return m_recordWhenRun; }
    QLineEdit* spaceField() const { return m_space; }

  protected:
    void Load() override;
    void UpdateEnabling() override;
    std::optional<FieldComplaint> SaveChanged() override;
    QWidget* fieldWidget(int field) override;

  private:
    QCheckBox* m_recordTone;
    QCheckBox* m_stoppedTone;
    QCheckBox* m_intervalTone;
    QLineEdit* m_interval;
    QCheckBox* m_runAtLogon;
    QCheckBox* m_recordWhenRun;
    QLineEdit* m_space;
};

}  // namespace sonaro
