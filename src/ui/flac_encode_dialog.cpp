#include "ui/flac_encode_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>

#include "formats/encoder_options.h"
#include "formats/output_writer.h"
#include "ui/options_page.h"

namespace sonaro {

FlacEncodeDialog::FlacEncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_formats(formats), m_prompter(prompter) {
    setWindowTitle(QStringLiteral("FLAC Settings"));
    setObjectName(QStringLiteral("FlacEncodeDlg"));
    auto* form = new QFormLayout(this);
    m_rate = ComboOf(kAiffSampleRates, this);
    m_rate->setObjectName(QStringLiteral("rate"));
    m_rate->setEditable(true);
    m_rate->lineEdit()->setValidator(new QIntValidator(0, 999999, m_rate));
    m_size = ComboOf(kFlacSampleSizes, this);
    m_size->setObjectName(QStringLiteral("size"));
    m_channels = ComboOf(kAiffChannels, this);
    m_channels->setObjectName(QStringLiteral("channels"));
    m_level = ComboOf(kFlacLevels, this);
    m_level->setObjectName(QStringLiteral("level"));
    form->addRow(QStringLiteral("Sample rate (Hz):"), m_rate);
    form->addRow(QStringLiteral("Sample size (bits):"), m_size);
    form->addRow(QStringLiteral("Channels:"), m_channels);
    form->addRow(QStringLiteral("Compression level:"), m_level);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &FlacEncodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FlacEncodeDialog::reject);

    const FlacSettings shown = UsableFlacSettings(formats.LoadFlacSettings());
    m_rate->setCurrentText(QString::number(shown.sampleRate));
    m_size->setCurrentIndex(shown.bitsPerSample == 24 ? 1 : 0);
    m_channels->setCurrentIndex(shown.channels == 1 ? 0 : 1);
    m_level->setCurrentIndex(shown.compressionLevel);
}

void FlacEncodeDialog::accept() {
    FlacSettings flac;
    flac.sampleRate = NumberFromListText(FromQt(m_rate->currentText()), flac.sampleRate);
    flac.bitsPerSample = m_size->currentIndex() == 1 ? 24 : 16;
    flac.channels = m_channels->currentIndex() + 1;
    flac.compressionLevel = m_level->currentIndex();
    if (const auto complaint = CheckFlacSettings(flac)) {
        ShowComplaint(m_prompter, *complaint, m_rate);
        return;
    }
    m_formats.SaveFlacSettings(flac);
    QDialog::accept();
}

}  // namespace sonaro
