#pragma once

#include <QDialog>

#include "formats/format_settings.h"
#include "support/prompter.h"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace sonaro {

// "LMp3EncodeDlg": the MP3 encoder settings. OK checks the variable bit rates and saves the
// settings. Used on the user-interface thread.
class Mp3EncodeDialog final : public QDialog {
    Q_OBJECT

  public:
    Mp3EncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent = nullptr);

    QRadioButton* constantRate() const { return m_constant; }
    QRadioButton* variableRate() const { return m_variable; }
    QComboBox* cbrBitRate() const { return m_cbrRate; }
    QCheckBox* highQuality() const { return m_highQuality; }
    QComboBox* vbrMinimum() const { return m_vbrMin; }
    QComboBox* vbrMaximum() const { return m_vbrMax; }
    QComboBox* vbrQuality() const { return m_quality; }
    QComboBox* channelMode() const { return m_mode; }
    QCheckBox* errorProtection() const { return m_protection; }

    void accept() override;

  private:
    QComboBox* bitRateList(int stored);
    void load(const Mp3Settings& mp3);
    void updateEnabling();

    FormatSettings& m_formats;
    Prompter& m_prompter;
    QRadioButton* m_constant;
    QRadioButton* m_variable;
    QComboBox* m_cbrRate;
    QCheckBox* m_highQuality;
    QComboBox* m_vbrMin;
    QComboBox* m_vbrMax;
    QComboBox* m_quality;
    QComboBox* m_mode;
    QCheckBox* m_protection;
};

}  // namespace sonaro
