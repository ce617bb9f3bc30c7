#include "ui/raw_format_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>

#include "formats/encoder_options.h"
#include "ui/options_page.h"

namespace sonaro {
namespace {

constexpr int kChannelChoices = 8;

}  // namespace

RawFormatDialog::RawFormatDialog(SettingsStore& settings, bool vox, Prompter& prompter,
                                 QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_vox(vox),
      m_prompter(prompter),
      m_format(LoadRawFormat(settings, vox)) {
    setWindowTitle(QStringLiteral("Raw Audio Format"));
    setObjectName(QStringLiteral("LRAWDlg"));
    auto* form = new QFormLayout(this);
    m_codec = new QComboBox(this);
    for (const std::string_view name : kRawCodecNames) {
        m_codec->addItem(ToQt(name));
    }
    m_rate = new QComboBox(this);
    for (const std::string_view rate : kAiffSampleRates) {
        m_rate->addItem(ToQt(rate));
    }
    m_rate->setEditable(true);
    m_rate->lineEdit()->setValidator(new QIntValidator(0, 9999999, m_rate));
    m_channels = new QComboBox(this);
    for (int channels = 1; channels <= kChannelChoices; ++channels) {
        m_channels->addItem(QString::number(channels));
    }
    form->addRow(QStringLiteral("Sample coding:"), m_codec);
    form->addRow(QStringLiteral("Sample rate (Hz):"), m_rate);
    form->addRow(QStringLiteral("Channels:"), m_channels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &RawFormatDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RawFormatDialog::reject);

    m_codec->setCurrentIndex(m_format.codec);
    m_rate->setCurrentText(QString::number(m_format.sampleRate));
    m_channels->setCurrentIndex(std::clamp(m_format.channels, 1, kChannelChoices) - 1);
}

void RawFormatDialog::accept() {
    RawFormat chosen;
    chosen.codec = m_codec->currentIndex();
    chosen.sampleRate = NumberFromListText(FromQt(m_rate->currentText()), 0);
    chosen.channels = m_channels->currentIndex() + 1;
    if (const auto complaint = CheckRawFormat(chosen)) {
        ShowComplaint(m_prompter, *complaint, m_rate);
        return;
    }
    m_format = chosen;
    SaveRawFormat(m_settings, m_vox, m_format);
    QDialog::accept();
}

}  // namespace sonaro
