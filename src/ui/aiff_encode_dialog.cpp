#include "ui/aiff_encode_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>

#include "formats/encoder_options.h"
#include "ui/options_page.h"

namespace sonaro {
namespace {

template <std::size_t N>
QComboBox* listOf(const std::array<std::string_view, N>& items, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (std::string_view text : items) {
        list->addItem(ToQt(text));
    }
    return list;
}

}  // namespace

AiffEncodeDialog::AiffEncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_formats(formats), m_prompter(prompter) {
    setWindowTitle(QStringLiteral("AIFF Settings"));
    setObjectName(QStringLiteral("LAIFFEncodeDlg"));
    auto* form = new QFormLayout(this);
    m_rate = listOf(kAiffSampleRates, this);
    m_rate->setEditable(true);
    m_rate->lineEdit()->setValidator(new QIntValidator(0, 999999, m_rate));
    m_size = listOf(kAiffSampleSizes, this);
    m_channels = listOf(kAiffChannels, this);
    form->addRow(QStringLiteral("Sample rate (Hz):"), m_rate);
    form->addRow(QStringLiteral("Sample size (bits):"), m_size);
    form->addRow(QStringLiteral("Channels:"), m_channels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AiffEncodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AiffEncodeDialog::reject);

    const AiffSettings shown = AiffSettingsForDisplay(formats.LoadAiffSettings());
    m_rate->setCurrentText(QString::number(shown.sampleRate));
    const int size = m_size->findText(QString::number(shown.sampleSize));
    m_size->setCurrentIndex(size >= 0 ? size : 1);
    m_channels->setCurrentIndex(shown.channels == 1 ? 0 : 1);
}

void AiffEncodeDialog::accept() {
    const AiffSettings defaults;
    AiffSettings aiff;
    aiff.sampleRate = NumberFromListText(FromQt(m_rate->currentText()), defaults.sampleRate);
    aiff.sampleSize = NumberFromListText(FromQt(m_size->currentText()), defaults.sampleSize);
    aiff.channels = static_cast<std::uint8_t>(m_channels->currentIndex() + 1);
    if (const auto complaint = CheckAiffSettings(aiff)) {
        ShowComplaint(m_prompter, *complaint, m_rate);
        return;
    }
    m_formats.SaveAiffSettings(aiff);
    QDialog::accept();
}

}  // namespace sonaro
