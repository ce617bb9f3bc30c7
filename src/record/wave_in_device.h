#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "threads/event.h"

namespace sonaro {

enum class WaveInOpenResult { Opened, FormatRefused, Failed };

// A filled capture buffer: interleaved 16-bit PCM in the opened channel count. Valid until the
// buffer is given back with ReleaseFilled.
struct CaptureBlock {
    const std::int16_t* samples = nullptr;
    int frames = 0;
    // Frames the device lost to an overrun just before this block's first frame.
    int lostFramesBefore = 0;
};

// One sound input opened for capture. The device fills a ring of buffers in order; the capture
// thread takes them back in the same order, converts them and gives them back to be filled again.
// When every buffer is filled and none was given back, further input is lost (an overrun); the
// next block filled says how much.
//
// Created, used and destroyed on one thread (the capture thread), except readyHandle(), which any
// thread may wait on.
class WaveInDevice {
  public:
    virtual ~WaveInDevice() = default;

    // Opens the device for 16-bit PCM at `rate` frames per second and `channels` channels with
    // `bufferCount` buffers of `framesPerBuffer` frames. Blocks for a bounded time. FormatRefused
    // when the device cannot deliver this format (another may still open); Failed for every
    // other failure (errorText() says why).
    virtual WaveInOpenResult Open(int rate, int channels, int framesPerBuffer, int bufferCount) = 0;
    // Starts filling buffers. False when the device failed.
    virtual bool Start() = 0;
    // The oldest filled buffer that was not given back yet; zero frames when none is ready.
    virtual CaptureBlock PeekFilled() = 0;
    // Gives the buffer of the last PeekFilled back to the device.
    virtual void ReleaseFilled() = 0;
    // Readable while a filled buffer waits or the device has failed.
    virtual WaitHandle readyHandle() const = 0;
    // True once the device is gone (unplugged, server lost); buffers filled before stay readable.
    virtual bool hasFailed() const = 0;
    // Stops capture. The buffer being filled counts as filled with what it holds, so that the
    // caller can drain every frame captured so far.
    virtual void Reset() = 0;
    virtual void Close() = 0;
    virtual std::string errorText() const = 0;
};

// The input devices of the system and their record mixer.
//
// Device identifiers are positions in DeviceNames(); -1 is the system's default input. Names stay
// the same between runs for the same device, so a stored name finds it again.
// Called on the user-interface thread, except CreateDevice, which the capture thread calls.
class WaveInDeviceList {
  public:
    static constexpr int kMaxSourceLines = 127;

    virtual ~WaveInDeviceList() = default;

    // Names of the input devices in device order.
    virtual std::vector<std::string> DeviceNames() = 0;
    // The identifier of the device that the default input (-1) records from; negative when not
    // known.
    virtual int PreferredDevice() = 0;
    // Names of the source lines of device `device` (at most kMaxSourceLines); empty when the
    // device does not exist.
    virtual std::vector<std::string> SourceLines(int device) = 0;
    // A device object for identifier `device` (-1: the default input); opened by its user.
    virtual std::unique_ptr<WaveInDevice> CreateDevice(int device) = 0;
    // Selects source line `source` of `device` for recording and sets its volume in dB. Does
    // nothing (and gives true) when `device` or `source` is negative; false when the mixer could
    // not be changed.
    virtual bool SetRecordSourceAndVolume(int device, int source, int volumeDb) = 0;
};

}  // namespace sonaro
