#pragma once

#include <cstdint>
#include <string>

#include "audio/level_set.h"

namespace sonaro {

// Told what the playback engine does. Every call runs on the user-interface thread and carries
// the cookie given with the listener. The defaults do nothing.
class PlaybackListener {
  public:
    virtual ~PlaybackListener() = default;
    // Playback started, or resumed after a pause.
    virtual void OnStarted(std::uint32_t cookie) { (void)cookie; }
    // Stop ended a playback (also at the end of the source and after a failure).
    virtual void OnStopped(std::uint32_t cookie) { (void)cookie; }
    // The output failed while playing (the device vanished, the sound server went away); the
    // engine stops at once after this call.
    virtual void OnFailed(const std::string& reason, std::uint32_t cookie) {
        (void)reason;
        (void)cookie;
    }
    virtual void OnPaused(std::uint32_t cookie) { (void)cookie; }
    // The position heard, in milliseconds of the source.
    virtual void OnPosition(std::int64_t ms, std::uint32_t cookie) {
        (void)ms;
        (void)cookie;
    }
    virtual void OnLevels(const LevelSet& levels, std::uint32_t cookie) {
        (void)levels;
        (void)cookie;
    }
};

}  // namespace sonaro
