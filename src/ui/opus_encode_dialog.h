#pragma once

#include <QDialog>

#include "formats/format_settings.h"

class QComboBox;

namespace sonaro {

// "Opus Settings": bit rate, application (voice or audio), complexity and channels of Opus
// recordings; OK saves them. Every choice is a fixed list, so OK never refuses. Used on the
// user-interface thread.
class OpusEncodeDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit OpusEncodeDialog(FormatSettings& formats, QWidget* parent = nullptr);

    void accept() override;

  private:
    FormatSettings& m_formats;
    QComboBox* m_bitRate;
    QComboBox* m_application;
    QComboBox* m_complexity;
    QComboBox* m_channels;
};

}  // namespace sonaro
