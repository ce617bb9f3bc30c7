#include "ui/wave_encode_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

#include <algorithm>

#include "ui/options_page.h"

namespace sonaro {

WaveEncodeDialog::WaveEncodeDialog(FormatSettings& formats, const CodecManager& codecs,
                                   Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_formats(formats),
      m_prompter(prompter),
      m_list(codecs),
      m_codec(new QComboBox(this)),
      m_format(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("WAV Settings"));
    setObjectName(QStringLiteral("LWaveEncodeDlg"));
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Codec:"), m_codec);
    form->addRow(QStringLiteral("Format:"), m_format);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &WaveEncodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &WaveEncodeDialog::reject);

    for (const WavCodecEntry& entry : m_list.entries()) {
        m_codec->addItem(ToQt(entry.name));
    }
    const WavListPosition position = m_list.FindPosition(formats.LoadWavFormat());
    m_codec->setCurrentIndex(static_cast<int>(position.codec));
    fillFormats();
    m_format->setCurrentIndex(static_cast<int>(position.format));
    connect(m_codec, &QComboBox::currentIndexChanged, this, &WaveEncodeDialog::fillFormats);
}

void WaveEncodeDialog::fillFormats() {
    m_choices = m_list.Formats(static_cast<std::size_t>(std::max(m_codec->currentIndex(), 0)));
    m_format->clear();
    for (const WavFormatChoice& choice : m_choices) {
        m_format->addItem(ToQt(choice.label));
    }
}

void WaveEncodeDialog::accept() {
    const int index = m_format->currentIndex();
    // A codec without formats keeps the stored format.
    if (index >= 0 && static_cast<std::size_t>(index) < m_choices.size() &&
        !m_formats.SaveWavFormat(m_choices[static_cast<std::size_t>(index)].format)) {
        m_prompter.ShowError(
            "The WAV format could not be saved to \"" + m_formats.wavFormatPath() + "\".",
            "Sonaro Sound Recorder");
        return;
    }
    QDialog::accept();
}

}  // namespace sonaro
