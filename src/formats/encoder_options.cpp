#include "formats/encoder_options.h"

#include <algorithm>
#include <climits>
#include <string>

#include "audio/audio_samples.h"

#include "settings/settings_store.h"

namespace sonaro {

std::optional<FieldComplaint> CheckMp3Settings(const Mp3Settings& mp3) {
    if (mp3.constantBitRate) {
        return std::nullopt;
    }
    if (mp3.vbrMaxBitRate > 160 && mp3.vbrMinBitRate < 32) {
        return FieldComplaint{
            static_cast<int>(Mp3Field::MaxBitRate),
            "Your VBR Minimum and Maximum Bitrates are too far apart, which will cause problems "
            "with the encoder. You must raise the minimum rate above 32 or the maximum rate below "
            "160.",
            "Sonaro Sound Recorder", PromptIcon::Error};
    }
    if (mp3.vbrMaxBitRate < mp3.vbrMinBitRate) {
        return Balloon(Mp3Field::MaxBitRate,
                       "Your VBR Maximum Bitrate cannot be smaller than the Minimum Bitrate.", "");
    }
    return std::nullopt;
}

namespace {

std::optional<FieldComplaint> checkRate(int rate) {
    if (IsSupportedSampleRate(rate)) {
        return std::nullopt;
    }
    return Balloon(AiffField::SampleRate,
                   "The sample rate must be " + std::to_string(kMinSampleRate) + " to " +
                       std::to_string(kMaxSampleRate) + " Hz.",
                   "Sample Rate");
}

}  // namespace

std::optional<FieldComplaint> CheckAiffSettings(const AiffSettings& aiff) {
    return checkRate(aiff.sampleRate);
}

std::optional<FieldComplaint> CheckFlacSettings(const FlacSettings& flac) {
    return checkRate(flac.sampleRate);
}

AiffSettings AiffSettingsForDisplay(const AiffSettings& stored) {
    AiffSettings shown = stored;
    const AiffSettings defaults;
    if (shown.sampleRate == 0) {
        shown.sampleRate = defaults.sampleRate;
    }
    if (shown.sampleSize == 0) {
        shown.sampleSize = defaults.sampleSize;
    }
    if (shown.channels == 0) {
        shown.channels = 2;
    }
    return shown;
}

int NumberFromListText(std::string_view text, int fallback) {
    const long number = ParseSettingNumber(text);
    if (number <= 0) {
        return fallback;
    }
    return static_cast<int>(std::clamp(number, long{INT_MIN}, long{INT_MAX}));
}

}  // namespace sonaro
