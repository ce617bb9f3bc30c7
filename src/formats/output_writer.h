#pragma once

#include <string>

#include "audio/audio_sink.h"
#include "formats/codec_manager.h"
#include "formats/format_settings.h"
#include "formats/wave_format.h"

namespace sonaro {

// The WAV writer for `format`: PCM (tag 1) with 8, 16, 24 or 32 bits (rounded up from the
// stored bits), float (tag 3, 32 bits), GSM (tag 0x31, mono), any other format through the codec
// manager. The writer's rate and channel count are the format's.
SinkRef CreateWavWriter(const std::string& path, const WaveFormat& format,
                        const CodecManager& codecs);

// A stored format may carry zeros from the command line ("wav -s 8000" sets no channel count).
// A recording then uses the default for each missing field: WAV PCM 44100 Hz, 1 channel, 16
// bits; GSM 8000 Hz; AIFF 44100 Hz, 2 channels, 16 bits. Channel counts above 2 become 2.
WaveFormat UsableWavFormat(const WaveFormat& format);
AiffSettings UsableAiffSettings(const AiffSettings& settings);
// FLAC: rate 0 records 44100 Hz; channels outside 1..2 are 2; bits 16 or 24 (above 16); the
// compression level is held within 0..8.
FlacSettings UsableFlacSettings(const FlacSettings& settings);

// Why `format` cannot be recorded (a sample rate outside kMinSampleRate..kMaxSampleRate); empty
// when it can. Zeros mean the defaults above.
std::string RefusedFormatReason(const RecordingFormat& format);

// An open writer for a new recording in `format`. A sink marked unusable when the file cannot be
// opened, and also marked format-refused when the format cannot be recorded; its WriteError says
// why in both cases. MP3 is always fed 44100 Hz stereo to the encoder program `mp3Encoder` (empty
// when the component is missing: no writer); Opus always 48000 Hz.
SinkRef OpenOutputWriter(const std::string& path, const RecordingFormat& format,
                         const CodecManager& codecs, const std::string& mp3Encoder);

}  // namespace sonaro
