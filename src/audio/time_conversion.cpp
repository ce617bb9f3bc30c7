#include "audio/time_conversion.h"

namespace sonaro {

std::int64_t MsFromFrames(std::int64_t frames, int rate) {
    if (rate <= 0) {
        return frames;
    }
    return (frames / rate) * 1000 + (frames % rate) * 1000 / rate;
}

std::int64_t FramesFromMs(std::int64_t ms, int rate) {
    if (rate <= 0) {
        return ms;
    }
    return (ms / 1000) * rate + (ms % 1000) * rate / 1000;
}

}  // namespace sonaro
