#include "formats/output_writer.h"

#include <algorithm>

#include "formats/aiff_writer.h"
#include "formats/compressed_wav_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/pcm_wav_writer.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kFloatTag = 3;
constexpr std::uint16_t kGsmTag = 0x31;

PcmSampleType pcmTypeFor(int bits) {
    if (bits <= 8)
        return PcmSampleType::Unsigned8;
    if (bits <= 16)
        return PcmSampleType::Signed16;
    return bits <= 24 ? PcmSampleType::Signed24 : PcmSampleType::Signed32;
}

}  // namespace

SinkRef CreateWavWriter(const std::string& path, const WaveFormat& format,
                        const CodecManager& codecs) {
    const int rate = static_cast<int>(format.samplesPerSec);
    switch (format.formatTag) {
        case WaveFormat::kPcmTag:
            return MakeSink<PcmWavWriter>(path, rate, format.channels,
                                          pcmTypeFor(format.bitsPerSample));
        case kGsmTag:
            return MakeSink<GsmWavWriter>(path, rate);
        case kFloatTag:
            if (format.bitsPerSample == 32) {
                return MakeSink<PcmWavWriter>(path, rate, format.channels, PcmSampleType::Float32);
            }
            break;
        default:
            break;
    }
    return MakeSink<CompressedWavWriter>(path, format, codecs);
}

WaveFormat UsableWavFormat(const WaveFormat& format) {
    if (format.formatTag == kGsmTag) {
        WaveFormat gsm = format;
        gsm.samplesPerSec = gsm.samplesPerSec == 0 ? 8000 : gsm.samplesPerSec;
        return gsm;
    }
    if (format.formatTag != WaveFormat::kPcmTag && format.formatTag != kFloatTag) {
        return format;
    }
    const WaveFormat defaults;
    const std::uint32_t rate =
        format.samplesPerSec == 0 ? defaults.samplesPerSec : format.samplesPerSec;
    const std::uint16_t channels =
        format.channels == 0 ? defaults.channels : std::min<std::uint16_t>(format.channels, 2);
    const std::uint16_t bits =
        format.bitsPerSample == 0 ? defaults.bitsPerSample : format.bitsPerSample;
    WaveFormat usable = MakePcmWaveFormat(rate, channels, bits);
    usable.formatTag = format.formatTag;
    return usable;
}

AiffSettings UsableAiffSettings(const AiffSettings& settings) {
    const AiffSettings defaults;
    AiffSettings usable = settings;
    usable.sampleRate = settings.sampleRate <= 0 ? defaults.sampleRate : settings.sampleRate;
    usable.channels =
        settings.channels == 0 ? defaults.channels : std::min<std::uint8_t>(settings.channels, 2);
    usable.sampleSize = settings.sampleSize <= 0 ? defaults.sampleSize : settings.sampleSize;
    return usable;
}

SinkRef OpenOutputWriter(const std::string& path, const FormatSettings& settings,
                         const CodecManager& codecs, const std::string& mp3Encoder) {
    switch (settings.GetOutputFormat()) {
        case OutputFormat::Wav:
            return CreateWavWriter(path, UsableWavFormat(settings.LoadWavFormat()), codecs);
        case OutputFormat::Mp3:
            return CreateMp3Writer(mp3Encoder, path, settings.LoadMp3Settings(), 44100, 2);
        case OutputFormat::Aiff: {
            const AiffSettings aiff = UsableAiffSettings(settings.LoadAiffSettings());
            return CreateAiffWriter(path, aiff.sampleRate, aiff.channels, aiff.sampleSize);
        }
    }
    return SinkRef();
}

}  // namespace sonaro
