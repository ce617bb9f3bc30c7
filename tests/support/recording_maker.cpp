#include "support/recording_maker.h"

#include "formats/audio_file_opener.h"
#include "formats/output_writer.h"
#include "support/audio_files.h"

namespace sonaro::test {

bool RecordingMaker::Make(const std::string& path, double seconds,
                          const std::vector<InternalSample>* samples) const {
    constexpr int kWavRate = 8000;
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

}  // namespace sonaro::test
