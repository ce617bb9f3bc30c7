#include "ui/mp3_encode_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "formats/encoder_options.h"
#include "ui/options_page.h"

namespace sonaro {
namespace {

std::uint16_t bitRateOf(const QComboBox* list) {
    return static_cast<std::uint16_t>(NumberFromListText(FromQt(list->currentText()), 0));
}

}  // namespace

Mp3EncodeDialog::Mp3EncodeDialog(FormatSettings& formats, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_formats(formats), m_prompter(prompter) {
    setWindowTitle(QStringLiteral("MP3 Settings"));
    setObjectName(QStringLiteral("LMp3EncodeDlg"));
    const Mp3Settings mp3 = formats.LoadMp3Settings();
    auto* layout = new QVBoxLayout(this);

    auto* rate = new QGroupBox(QStringLiteral("Bit Rate"), this);
    auto* form = new QFormLayout(rate);
    m_constant = new QRadioButton(QStringLiteral("Constant bit rate (CBR)"), rate);
    m_variable = new QRadioButton(QStringLiteral("Variable bit rate (VBR)"), rate);
    auto* choice = new QButtonGroup(rate);
    choice->addButton(m_constant);
    choice->addButton(m_variable);
    m_cbrRate = bitRateList(mp3.cbrBitRate);
    m_highQuality = new QCheckBox(QStringLiteral("High quality"), rate);
    m_vbrMin = bitRateList(mp3.vbrMinBitRate);
    m_vbrMax = bitRateList(mp3.vbrMaxBitRate);
    m_quality = new QComboBox(rate);
    for (std::string_view text : kMp3Qualities) {
        m_quality->addItem(ToQt(text));
    }
    form->addRow(m_constant);
    form->addRow(QStringLiteral("Bit rate (kbit/s):"), m_cbrRate);
    form->addRow(m_highQuality);
    form->addRow(m_variable);
    form->addRow(QStringLiteral("Minimum bit rate (kbit/s):"), m_vbrMin);
    form->addRow(QStringLiteral("Maximum bit rate (kbit/s):"), m_vbrMax);
    form->addRow(QStringLiteral("Quality:"), m_quality);
    layout->addWidget(rate);

    auto* other = new QFormLayout;
    m_mode = new QComboBox(this);
    for (std::string_view text : kMp3ChannelModes) {
        m_mode->addItem(ToQt(text));
    }
    m_protection = new QCheckBox(QStringLiteral("Error protection"), this);
    other->addRow(QStringLiteral("Channel mode:"), m_mode);
    other->addRow(m_protection);
    layout->addLayout(other);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &Mp3EncodeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &Mp3EncodeDialog::reject);
    connect(m_constant, &QRadioButton::toggled, this, &Mp3EncodeDialog::updateEnabling);
    load(mp3);
}

QComboBox* Mp3EncodeDialog::bitRateList(int stored) {
    auto* list = new QComboBox(this);
    for (std::string_view text : kMp3BitRates) {
        list->addItem(ToQt(text));
    }
    // A rate set from the command line that the list lacks is still shown as it is.
    const QString value = QString::number(stored);
    if (list->findText(value) < 0) {
        list->addItem(value);
    }
    list->setCurrentIndex(list->findText(value));
    return list;
}

void Mp3EncodeDialog::load(const Mp3Settings& mp3) {
    m_constant->setChecked(mp3.constantBitRate);
    m_variable->setChecked(!mp3.constantBitRate);
    m_highQuality->setChecked(mp3.highQuality);
    m_quality->setCurrentIndex(std::min<int>(mp3.vbrQuality, m_quality->count() - 1));
    m_mode->setCurrentIndex(mp3.channelMode < m_mode->count() ? mp3.channelMode : 1);
    m_protection->setChecked(mp3.errorProtection);
    updateEnabling();
}

void Mp3EncodeDialog::updateEnabling() {
    const bool constant = m_constant->isChecked();
    m_cbrRate->setEnabled(constant);
    m_highQuality->setEnabled(constant);
    for (QComboBox* list : {m_vbrMin, m_vbrMax, m_quality}) {
        list->setEnabled(!constant);
    }
}

void Mp3EncodeDialog::accept() {
    Mp3Settings mp3 = m_formats.LoadMp3Settings();
    mp3.constantBitRate = m_constant->isChecked();
    mp3.cbrBitRate = bitRateOf(m_cbrRate);
    mp3.highQuality = m_highQuality->isChecked();
    mp3.vbrMinBitRate = bitRateOf(m_vbrMin);
    mp3.vbrMaxBitRate = bitRateOf(m_vbrMax);
    mp3.vbrQuality = static_cast<std::uint8_t>(m_quality->currentIndex());
    mp3.channelMode = static_cast<std::uint8_t>(m_mode->currentIndex());
    mp3.errorProtection = m_protection->isChecked();
    if (const auto complaint = CheckMp3Settings(mp3)) {
        ShowComplaint(m_prompter, *complaint, m_vbrMax);
        return;
    }
    m_formats.SaveMp3Settings(mp3);
    QDialog::accept();
}

}  // namespace sonaro
