#pragma once

#include <QDialog>

#include "formats/codec_manager.h"
#include "formats/format_settings.h"
#include "formats/wav_codec_list.h"
#include "support/prompter.h"

class QComboBox;

namespace sonaro {

// "LWaveEncodeDlg": the WAV codec and format chooser. The codec list comes from the codec
// manager when the dialog opens; the stored format is preselected; OK saves the chosen format to
// the format file. Used on the user-interface thread.
class WaveEncodeDialog final : public QDialog {
    Q_OBJECT

  public:
    WaveEncodeDialog(FormatSettings& formats, const CodecManager& codecs, Prompter& prompter,
                     QWidget* parent = nullptr);

    QComboBox* codecList() const { return m_codec; }
    QComboBox* formatList() const { return m_format; }

    void accept() override;

  private:
    void fillFormats();

    FormatSettings& m_formats;
    Prompter& m_prompter;
    WavCodecList m_list;
    std::vector<WavFormatChoice> m_choices;
    QComboBox* m_codec;
    QComboBox* m_format;
};

}  // namespace sonaro
