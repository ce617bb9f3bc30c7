#pragma once

#include <QDialog>

#include "formats/format_settings.h"
#include "support/prompter.h"

class QComboBox;

namespace sonaro {

// "FLAC Settings": sample rate (editable list), sample size, channels and compression level of
// FLAC recordings; OK saves them. Used on the user-interface thread.
class FlacEncodeDialog final : public QDialog {
    Q_OBJECT

  public:
    FlacEncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent = nullptr);

    void accept() override;

  private:
    FormatSettings& m_formats;
    Prompter& m_prompter;
    QComboBox* m_rate;
    QComboBox* m_size;
    QComboBox* m_channels;
    QComboBox* m_level;
};

}  // namespace sonaro
