#pragma once

#include <string>

#include "audio/audio_source.h"

namespace sonaro {

// Opens an MPEG audio file (layer 3 and the other layers libmpg123 decodes) as 16-bit frames.
// The file is scanned when opened, so the length is frame-exact and seeks land on the frame
// asked for; with the encoder's delay and padding recorded in the file (the LAME tag), both
// are removed, so a file reads back with exactly the frames that were encoded. A file in which
// no MPEG frame is found is Corrupt; CodecMissing when the decoder cannot start.
SourceRef OpenMp3File(const std::string& path);

}  // namespace sonaro
