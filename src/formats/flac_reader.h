#pragma once

#include <string>

#include "audio/audio_source.h"

namespace sonaro {

// Opens a FLAC file (mono or stereo, 4 to 24 bits) through libFLAC's stream decoder. The length
// comes from STREAMINFO without decoding; a file whose STREAMINFO counts no samples (still being
// written, or left so by a crash) or more than its size can hold is decoded through once when
// opened and reads as far as its whole frames went then, like an MP3 in progress. Frames whose
// checksum fails are not counted or played. Unusable results carry their status: CannotOpen,
// Corrupt (no "fLaC" mark, no readable STREAMINFO, a zero rate), NotSupported (more than two
// channels or 24 bits), CodecMissing (the decoder cannot start).
SourceRef OpenFlacFile(const std::string& path);

}  // namespace sonaro
