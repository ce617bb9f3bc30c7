#include "recordings/play_source.h"

#include "audio/time_conversion.h"
#include "formats/audio_file_opener.h"
#include "formats/source_rate_converter.h"
#include "recordings/time_stretch_filter.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr int kNormalSpeedLow = 93;
constexpr int kNormalSpeedHigh = 110;
constexpr int kStretchRate = 22050;

}  // namespace

SourceRef OpenPlaySource(const std::string& path, const SettingsStore& settings) {
    SourceRef source = OpenRecordingFile(path);
    if (source->isUnusable()) {
        return source;
    }
    const int offsetMs = settings.Read(setting::kPlayOffset);
    if (offsetMs > 0) {
        source->Seek(FramesFromMs(offsetMs, source->rate()));
    }
    const int speed = settings.Read(setting::kCurrentSpeed);
    if (speed >= kNormalSpeedLow && speed <= kNormalSpeedHigh) {
        return source;
    }
    if (source->rate() > kStretchRate) {
        source = MakeSourceRateConverter(std::move(source), kStretchRate);
    }
    return MakeTimeStretchFilter(std::move(source), speed * 0.01, false);
}

}  // namespace sonaro
