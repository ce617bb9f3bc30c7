#pragma once

#include <QDialog>

#include "formats/raw_reader.h"
#include "settings/settings_store.h"
#include "support/prompter.h"

class QComboBox;

namespace sonaro {

// "LRAWDlg": how a headerless file is read (codec, sample rate from an editable list, channels),
// shown before a ".vox" (`vox`) or ".raw", ".snd", ".moh" file is opened. OK accepts a rate from
// 6000 to 196000, saves the three values and keeps them in format(); another rate is refused
// with a balloon at the rate list. Used on the user-interface thread.
class RawFormatDialog final : public QDialog {
    Q_OBJECT

  public:
    RawFormatDialog(SettingsStore& settings, bool vox, Prompter& prompter,
                    QWidget* parent = nullptr);

    QComboBox* codec() const { return m_codec; }
    QComboBox* sampleRate() const { return m_rate; }
    QComboBox* channels() const { return m_channels; }
    const RawFormat& format() const { return m_format; }

    void accept() override;

  private:
    SettingsStore& m_settings;
    bool m_vox;
    Prompter& m_prompter;
    RawFormat m_format;
    QComboBox* m_codec;
    QComboBox* m_rate;
    QComboBox* m_channels;
};

}  // namespace sonaro
