#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "threads/event.h"

namespace sonaro {

// One sound output opened for playback of 16-bit PCM. The device queues what is written and
// counts the frames that have been heard, so that the player can tell which of its buffers have
// played out.
//
// Opened, written and closed by one thread at a time (the engine hands it between the
// user-interface thread and its producer thread, never both at once); readyHandle() and
// hasFailed() may be used from any thread.
class WaveOutDevice {
  public:
    virtual ~WaveOutDevice() = default;

    // Opens the output for `rate` frames per second and `channels` channels, with room queued
    // for `queueFrames` frames. Starts corked when `paused`. Blocks for a bounded time; false
    // with errorText() when the output cannot be opened.
    virtual bool Open(int rate, int channels, int queueFrames, bool paused) = 0;
    // Frames that can be written now without exceeding the queue.
    virtual int WritableFrames() = 0;
    // Queues `frames` interleaved frames, at most WritableFrames(). False when the device failed
    // or the frames do not fit.
    virtual bool Write(const std::int16_t* samples, int frames) = 0;
    // Frames written since Open that have been heard (through the output's latency), never more
    // than were written. A flush counts the dropped frames as heard.
    virtual std::int64_t PlayedFrames() = 0;
    // Stops (true) or continues (false) taking frames from the queue; the queue is kept.
    virtual bool SetPaused(bool paused) = 0;
    // Drops everything queued and not yet heard.
    virtual bool Flush() = 0;
    // Plays what is queued even when less than the server's start threshold was written.
    virtual void Trigger() = 0;
    // Output volume in dB: 0 is full volume, below -35 mutes.
    virtual bool SetVolumeDb(int volumeDb) = 0;
    // Readable when frames were heard or the device failed; the waiter clears it with
    // ClearReady before looking at the device, so no wake-up is lost.
    virtual WaitHandle readyHandle() const = 0;
    virtual void ClearReady() = 0;
    // True once the output is gone (the sink was removed, the server went away).
    virtual bool hasFailed() const = 0;
    virtual void Close() = 0;
    virtual std::string errorText() const = 0;
};

// The sound outputs of the system. A device is chosen by its name as DeviceNames() lists it; an
// empty name, kDefaultDevice or a name that is no longer listed is the system's default output,
// followed as it changes.
class WaveOutDeviceList {
  public:
    static constexpr const char* kDefaultDevice = "[Default Sound Out]";

    virtual ~WaveOutDeviceList() = default;

    // Names of the output devices in device order; empty when the sound server cannot be reached.
    virtual std::vector<std::string> DeviceNames() = 0;
    // An unopened device for `name`.
    virtual std::unique_ptr<WaveOutDevice> CreateDevice(const std::string& name) = 0;
};

}  // namespace sonaro
