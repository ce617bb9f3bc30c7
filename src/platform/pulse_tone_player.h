#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/pulse_connection.h"
#include "record/session_services.h"

namespace sonaro {

// The PCM content of a WAV file held in memory.
struct WavClip {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::span<const std::uint8_t> samples;  // 16-bit little-endian, interleaved
};

// False when `bytes` is not a 16-bit PCM WAV file with a data chunk.
bool ParseWavClip(std::span<const std::uint8_t> bytes, WavClip& clip);

// Plays the built-in tones on the sound server's default output and returns once they have been
// played to the end (the stream is drained), so a tone before capture is not recorded. Without a
// server the call fails within the connection time-out and nothing is played.
// User-interface thread.
class PulseTonePlayer final : public TonePlayer {
  public:
    bool PlayTone(std::string_view resource) override;
    const std::string& errorText() const { return m_error; }

  private:
    bool play(const WavClip& clip);
    bool writeAndDrain(pa_stream* stream, const WavClip& clip);
    static void onStreamState(pa_stream* stream, void* self);
    static void onSuccess(pa_stream* stream, int success, void* self);

    PulseConnection m_connection;
    std::string m_error;
};

}  // namespace sonaro
