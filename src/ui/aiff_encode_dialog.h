#pragma once

#include <QDialog>

#include "formats/format_settings.h"
#include "support/prompter.h"

class QComboBox;

namespace sonaro {

// "LAIFFEncodeDlg": sample rate (editable list), sample size and channels of AIFF recordings;
// OK saves them. Used on the user-interface thread.
class AiffEncodeDialog final : public QDialog {
    Q_OBJECT

  public:
    AiffEncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent = nullptr);

    QComboBox* sampleRate() const { return m_rate; }
    QComboBox* sampleSize() const { return m_size; }
    QComboBox* channels() const { return m_channels; }

    void accept() override;

  private:
    FormatSettings& m_formats;
    Prompter& m_prompter;
    QComboBox* m_rate;
    QComboBox* m_size;
    QComboBox* m_channels;
};

}  // namespace sonaro
