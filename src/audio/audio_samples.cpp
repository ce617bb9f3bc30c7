#include "audio/audio_samples.h"

namespace sonaro {

void ConvertPcm16ToInternal(const std::int16_t* pcm, InternalSample* out, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        out[i] = ToInternalSample(pcm[i]);
    }
}

}  // namespace sonaro
