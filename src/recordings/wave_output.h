#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "audio/level_set.h"
#include "recordings/wave_out_device.h"

namespace sonaro {

// The player's side of an output device: a ring of 64 buffers of a tenth of a second each. The
// device queues the buffers' samples; a buffer counts as played once the device has played past
// its last frame, and its end tells the source position heard and its levels what the meter
// shows. So the position is what is heard, whatever filters stand between file and output.
//
// The producer thread writes and reclaims buffers; the user-interface thread opens, closes and
// drives the device only while no producer runs. position() and levels() may be read anywhere.
class WaveOutput {
  public:
    static constexpr int kSlotCount = 64;
    static constexpr int kMaxWriteFrames = 8192;
    static constexpr std::uint16_t kOpen = 1;
    static constexpr std::uint16_t kPaused = 2;
    static constexpr std::uint16_t kLooping = 4;

    // A tenth of the rate, within [20, 8192].
    static int FramesPerBuffer(int rate);

    // Opens `device` for the source's rate and channels with room for the whole ring; paused
    // when `startPaused`. False with errorText() when the device cannot be opened.
    bool Open(std::unique_ptr<WaveOutDevice> device, const AudioSource& source, bool startPaused);
    // Closes the device; nothing when closed.
    void Close();

    std::uint16_t state() const { return m_state.load(); }
    void setState(std::uint16_t state) { m_state.store(state); }
    WaveOutDevice& device() { return *m_device; }
    int framesPerBuffer() const { return m_framesPerBuffer; }
    const std::string& errorText() const { return m_error; }

    // Every slot free, both indexes at the start; after a flush of the device.
    void ResetRing();
    void setPosition(std::int64_t frame) { m_position.store(frame); }
    std::int64_t position() const { return m_position.load(); }
    LevelSet levels() const;

    // Producer thread.
    bool nextSlotFree() const { return m_slots[m_writeIndex].free; }
    // True while the buffer written last has not been played.
    bool lastWrittenPending() const;
    // Reads up to framesPerBuffer frames of `requested` from `source` and queues them; false
    // when the device failed.
    bool WriteBuffer(AudioSource& source, int requested);
    // Takes back every buffer the device has played; the number taken.
    int Reclaim();
    // Makes the scrub snippet at the source's position: a quarter buffer read once and repeated
    // to fill one buffer.
    void PrepareScrub(AudioSource& source);
    // Queues the snippet again while the device has room for it; false when the device failed.
    bool QueueScrub();

  private:
    struct Slot {
        std::int64_t endWritten = 0;
        std::int64_t endPosition = 0;
        LevelSet levels;
        bool free = true;
    };

    std::unique_ptr<WaveOutDevice> m_device;
    std::atomic<std::uint16_t> m_state{0};
    int m_channels = 1;
    int m_framesPerBuffer = 0;
    std::vector<InternalSample> m_scratch;
    std::vector<std::int16_t> m_pcm;
    std::vector<std::int16_t> m_scrub;
    std::array<Slot, kSlotCount> m_slots{};
    int m_writeIndex = 0;
    int m_readIndex = 0;
    std::int64_t m_written = 0;
    std::atomic<std::int64_t> m_position{0};
    mutable std::mutex m_levelsLock;
    LevelSet m_levels;
    std::string m_error;
};

}  // namespace sonaro
