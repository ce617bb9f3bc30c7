#include "ui/format_options.h"

#include "ui/aiff_encode_dialog.h"
#include "ui/flac_encode_dialog.h"
#include "ui/mp3_encode_dialog.h"
#include "ui/opus_encode_dialog.h"
#include "ui/wave_encode_dialog.h"

namespace sonaro {

bool ShowFormatOptions(int format, QWidget* owner, FormatSettings& formats, Prompter& prompter) {
    const OutputFormat chosen = format < 0 || format > static_cast<int>(OutputFormat::Opus)
                                    ? formats.GetOutputFormat()
                                    : static_cast<OutputFormat>(format);
    switch (chosen) {
        case OutputFormat::Wav: {
            const CodecManager codecs;
            WaveEncodeDialog dialog(formats, codecs, prompter, owner);
            return dialog.exec() == QDialog::Accepted;
        }
        case OutputFormat::Mp3: {
            Mp3EncodeDialog dialog(formats, prompter, owner);
            return dialog.exec() == QDialog::Accepted;
        }
        case OutputFormat::Aiff: {
            AiffEncodeDialog dialog(formats, prompter, owner);
            return dialog.exec() == QDialog::Accepted;
        }
        case OutputFormat::Flac: {
            FlacEncodeDialog dialog(formats, prompter, owner);
            return dialog.exec() == QDialog::Accepted;
        }
        case OutputFormat::Opus: {
            OpusEncodeDialog dialog(formats, owner);
            return dialog.exec() == QDialog::Accepted;
        }
    }
    return false;
}

}  // namespace sonaro
