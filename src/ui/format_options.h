#pragma once

#include "formats/format_settings.h"
#include "support/prompter.h"

class QWidget;

namespace sonaro {

// `ShowFormatOptions`: the settings dialog of `format` ("LWaveEncodeDlg", "LMp3EncodeDlg" or
// "LAIFFEncodeDlg"); a negative value opens the current format's. True when closed with OK.
bool ShowFormatOptions(int format, QWidget* owner, FormatSettings& formats, Prompter& prompter);

}  // namespace sonaro
