#pragma once

#include <cstdint>

namespace sonaro {

// Milliseconds and frames at `rate` frames per second, split so that no intermediate product
// exceeds what the 64-bit result needs. A rate of 0 or less gives the value back unchanged.
std::int64_t MsFromFrames(std::int64_t frames, int rate);
std::int64_t FramesFromMs(std::int64_t ms, int rate);

}  // namespace sonaro
