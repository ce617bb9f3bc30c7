#pragma once

#include <string>

#include "audio/audio_source.h"

namespace sonaro {

// Opens a Sun/NeXT ".au" file: a big-endian header of ".snd", data offset, data size, encoding,
// rate and channels. Encodings 1 (G.711 mu-law), 2 (8-bit signed), 3 (16-bit big-endian) and 27
// (G.711 A-law) are read; another encoding is CodecMissing. A different magic, a data offset
// inside the header or past the end of the file, zero channels or rate is Corrupt. A data size of
// 0xFFFFFFFF (unknown) runs to the end of the file; any size is cut to what the file holds.
SourceRef OpenAuFile(const std::string& path);

}  // namespace sonaro
