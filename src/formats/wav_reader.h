#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/audio_source.h"
#include "formats/codec_manager.h"

namespace sonaro {

// Opens a RIFF/WAVE file for reading: PCM of 8, 16, 24 and 32 bits (any container up to 4 bytes
// per sample, WAVE_FORMAT_EXTENSIBLE included), 32-bit float, GSM 06.10 and every format the
// codec manager decodes (G.711, IMA and Microsoft ADPCM).
//
// Every size in the file is checked against the file before use: the data runs to the end of the
// file when its size or the RIFF size is the unknown size 0xFFFFFFFF (a recording still open or
// cut short by a crash: the writers' open-state header), and is never taken beyond the file's
// end. Unusable results carry their status: CannotOpen (missing, no access, not a regular file),
// Corrupt (a required chunk missing or cut short, zero channels, rate or block align),
// CodecMissing (no decoder for the format tag), NotSupported (not a WAV file, a float size other
// than 32 bits, more than 4 bytes per sample).
SourceRef OpenWavFile(const std::string& path, const CodecManager& codecs);

// The format tag of a WAV file's "fmt " chunk (the sub-format's for WAVE_FORMAT_EXTENSIBLE), for
// naming a missing codec; nothing when the file has none that can be read.
std::optional<std::uint16_t> ReadWavFormatTag(const std::string& path);

}  // namespace sonaro
