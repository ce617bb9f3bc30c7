#include "ui/opus_encode_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

#include "formats/encoder_options.h"
#include "ui/options_page.h"

namespace sonaro {

OpusEncodeDialog::OpusEncodeDialog(FormatSettings& formats, QWidget* parent)
    : QDialog(parent), m_formats(formats) {
    setWindowTitle(QStringLiteral("Opus Settings"));
    setObjectName(QStringLiteral("OpusEncodeDlg"));
    auto* form = new QFormLayout(this);
    m_bitRate = ComboOf(kOpusBitRates, this);
    m_bitRate->setObjectName(QStringLiteral("bitRate"));
    m_application = ComboOf(kOpusApplications, this);
    m_application->setObjectName(QStringLiteral("application"));
    m_complexity = ComboOf(kOpusComplexities, this);
    m_complexity->setObjectName(QStringLiteral("complexity"));
    m_channels = ComboOf(kAiffChannels, this);
    m_channels->setObjectName(QStringLiteral("channels"));
    form->addRow(QStringLiteral("Bit rate (kbit/s):"), m_bitRate);
    form->addRow(QStringLiteral("Application:"), m_application);
    form->addRow(QStringLiteral("Complexity:"), m_complexity);
    form->addRow(QStringLiteral("Channels:"), m_channels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &OpusEncodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OpusEncodeDialog::reject);

    const OpusSettings shown = formats.LoadOpusSettings();
    const int rate = m_bitRate->findText(QString::number(shown.bitRate));
    if (rate >= 0) {
        m_bitRate->setCurrentIndex(rate);
    } else {
        // A rate set on the command line stays choosable.
        m_bitRate->addItem(QString::number(shown.bitRate));
        m_bitRate->setCurrentIndex(m_bitRate->count() - 1);
    }
    m_application->setCurrentIndex(shown.voice ? 0 : 1);
    m_complexity->setCurrentIndex(shown.complexity);
    m_channels->setCurrentIndex(shown.channels == 1 ? 0 : 1);
}

void OpusEncodeDialog::accept() {
    OpusSettings opus;
    opus.bitRate = NumberFromListText(FromQt(m_bitRate->currentText()), opus.bitRate);
    opus.voice = m_application->currentIndex() == 0;
    opus.complexity = m_complexity->currentIndex();
    opus.channels = m_channels->currentIndex() + 1;
    m_formats.SaveOpusSettings(opus);
    QDialog::accept();
}

}  // namespace sonaro
