#include "formats/output_writer.h"

#include <algorithm>
#include <new>
#include <string>

#include "formats/aiff_writer.h"
#include "formats/compressed_wav_writer.h"
#include "formats/flac_writer.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/opus_writer.h"
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

// The writer of a format that cannot be recorded: no file, and the reason as its error.
class RefusedSink final : public AudioSink {
  public:
    explicit RefusedSink(std::string reason) : AudioSink(44100, 1), m_reason(std::move(reason)) {
        markFormatRefused();
    }
    void Write(const InternalSample*, int) override {}
    void SeekTo(std::int64_t) override {}
    std::string WriteError() const override { return m_reason; }

  private:
    std::string m_reason;
};

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

FlacSettings UsableFlacSettings(const FlacSettings& settings) {
    FlacSettings usable = settings;
    usable.sampleRate = settings.sampleRate == 0 ? FlacSettings{}.sampleRate : settings.sampleRate;
    usable.channels = settings.channels == 1 ? 1 : 2;
    usable.bitsPerSample = settings.bitsPerSample > 16 ? 24 : 16;
    usable.compressionLevel = std::clamp(settings.compressionLevel, 0, 8);
    return usable;
}

std::string RefusedFormatReason(const RecordingFormat& format) {
    long long rate = 0;
    switch (format.format) {
        case OutputFormat::Wav:
            rate = UsableWavFormat(format.wav).samplesPerSec;
            break;
        case OutputFormat::Mp3:
            return {};
        case OutputFormat::Aiff:
            rate = UsableAiffSettings(format.aiff).sampleRate;
            break;
        case OutputFormat::Flac:
            rate = UsableFlacSettings(format.flac).sampleRate;
            break;
        case OutputFormat::Opus:
            return {};
    }
    if (!IsSupportedSampleRate(rate)) {
        return "The sample rate of " + std::to_string(rate) + " Hz cannot be recorded (" +
               std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " Hz).";
    }
    return {};
}

SinkRef OpenOutputWriter(const std::string& path, const RecordingFormat& format,
                         const CodecManager& codecs, const std::string& mp3Encoder) {
    if (const std::string reason = RefusedFormatReason(format); !reason.empty()) {
        return MakeSink<RefusedSink>(reason);
    }
    try {
        switch (format.format) {
            case OutputFormat::Wav:
                return CreateWavWriter(path, UsableWavFormat(format.wav), codecs);
            case OutputFormat::Mp3:
                return CreateMp3Writer(mp3Encoder, path, format.mp3, 44100, 2);
            case OutputFormat::Aiff: {
                const AiffSettings aiff = UsableAiffSettings(format.aiff);
                return CreateAiffWriter(path, aiff.sampleRate, aiff.channels, aiff.sampleSize);
            }
            case OutputFormat::Flac: {
                const FlacSettings flac = UsableFlacSettings(format.flac);
                return MakeSink<FlacWriter>(path, flac.sampleRate, flac.channels,
                                            flac.bitsPerSample, flac.compressionLevel);
            }
            case OutputFormat::Opus:
                return MakeSink<OpusWriter>(path, format.opus.channels == 1 ? 1 : 2,
                                            format.opus.bitRate, format.opus.voice,
                                            format.opus.complexity);
        }
    } catch (const std::bad_alloc&) {
        return MakeSink<RefusedSink>("There is not enough memory to record in this format.");
    }
    return SinkRef();
}

}  // namespace sonaro
