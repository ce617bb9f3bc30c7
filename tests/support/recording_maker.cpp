#include "support/recording_maker.h"

#include "formats/audio_file_opener.h"
#include "formats/output_writer.h"
#include "support/audio_files.h"

namespace sonaro::test {
namespace {

constexpr int kWavRate = 8000;

}  // namespace

bool RecordingMaker::Make(const std::string& path, double seconds,
                          const std::vector<InternalSample>* samples) const {
    RecordingFormat format;
    format.wav = MakePcmWaveFormat(kWavRate, 1, 16);
    format.aiff = {1, 11025, 16};
    const std::string extension = LowerExtension(path);
    int rate = kWavRate;
    int channels = 1;
    if (extension == ".mp3") {
        format.format = OutputFormat::Mp3;
        rate = 44100;
        channels = 2;
    } else if (extension == ".aiff" || extension == ".aif") {
        format.format = OutputFormat::Aiff;
        rate = 11025;
    } else if (extension == ".flac") {
        format.format = OutputFormat::Flac;
        rate = format.flac.sampleRate;
        channels = format.flac.channels;
    }
    SinkRef sink = OpenOutputWriter(path, format, m_codecs, m_lame);
    if (sink->isUnusable()) {
        return false;
    }
    WriteAll(*sink, samples != nullptr
                        ? *samples
                        : std::vector<InternalSample>(
                              static_cast<std::size_t>(seconds * rate) * channels, 0));
    return true;
}

bool RecordingMaker::MakeWav(const std::string& path, double seconds,
                             const WaveFormat& format) const {
    SinkRef sink = CreateWavWriter(path, format, m_codecs);
    if (sink->isUnusable()) {
        return false;
    }
    WriteAll(*sink, std::vector<InternalSample>(
                        static_cast<std::size_t>(seconds * format.samplesPerSec), 0));
    return true;
}

std::vector<WaveFormat> RecordingMaker::WavFormats() const {
    constexpr std::uint16_t kGsmTag = 0x31;
    std::vector<WaveFormat> formats = {MakePcmWaveFormat(kWavRate, 1, 8),
                                       MakePcmWaveFormat(kWavRate, 1, 16)};
    WaveFormat gsm;
    gsm.formatTag = kGsmTag;
    gsm.channels = 1;
    gsm.samplesPerSec = kWavRate;
    formats.push_back(gsm);
    for (const CodecDriverDetails& driver : m_codecs.Drivers()) {
        for (const CodecFormatTagDetails& tag : m_codecs.FormatTags(driver.driverId)) {
            for (const CodecFormatDetails& offered :
                 m_codecs.Formats(driver.driverId, tag.formatTag)) {
                if (offered.format.samplesPerSec == kWavRate && offered.format.channels == 1) {
                    formats.push_back(offered.format);
                    break;
                }
            }
        }
    }
    return formats;
}

}  // namespace sonaro::test
