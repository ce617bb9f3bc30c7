#include "platform/pulse_tone_player.h"

#include <cstring>

#include "platform/embedded_resources.h"

namespace sonaro {
namespace {

std::uint32_t read32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

bool ParseWavClip(std::span<const std::uint8_t> bytes, WavClip& clip) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return false;
    }
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint8_t* chunk = bytes.data() + at;
        const std::size_t size = read32(chunk + 4);
        const std::size_t room = bytes.size() - at - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && size <= room) {
            haveFormat = read16(chunk + 8) == 1 && read16(chunk + 22) == 16;
            clip.channels = read16(chunk + 10);
            clip.rate = read32(chunk + 12);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            clip.samples = bytes.subspan(at + 8, std::min(size, room));
            return haveFormat && clip.channels > 0 && clip.rate > 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

bool PulseTonePlayer::PlayTone(std::string_view resource) {
    WavClip clip;
    if (!ParseWavClip(EmbeddedResource(resource), clip)) {
        m_error = "No such sound: " + std::string(resource);
        return false;
    }
    if (!m_connection.isConnected()) {
        m_connection.Disconnect();
        if (!m_connection.Connect("Sonaro tones")) {
            m_error = m_connection.errorText();
            return false;
        }
    }
    return play(clip);
}

bool PulseTonePlayer::play(const WavClip& clip) {
    const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, clip.rate,
                                    static_cast<std::uint8_t>(clip.channels)};
    if (!pa_sample_spec_valid(&sampleSpec)) {
        m_error = "The tone's format is not valid.";
        return false;
    }
    PulseLock lock(m_connection);
    pa_stream* stream = pa_stream_new(m_connection.context(), "Tone", &sampleSpec, nullptr);
    if (stream == nullptr) {
        m_error = m_connection.serverError();
        return false;
    }
    pa_stream_set_state_callback(stream, &PulseTonePlayer::onStreamState, this);
    bool played = false;
    if (pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) ==
            0 &&
        m_connection.WaitLocked(
            [stream] { return pa_stream_get_state(stream) == PA_STREAM_READY; })) {
        played = writeAndDrain(stream, clip);
    }
    if (!played) {
        m_error = m_connection.serverError();
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    return played;
}

// The whole clip is handed over at once (the server buffers far more than a short tone); the
// drain completes when the last sample has been played.
bool PulseTonePlayer::writeAndDrain(pa_stream* stream, const WavClip& clip) {
    if (pa_stream_write(stream, clip.samples.data(), clip.samples.size(), nullptr, 0,
                        PA_SEEK_RELATIVE) < 0) {
        return false;
    }
    return m_connection.CompleteLocked(pa_stream_drain(stream, &PulseTonePlayer::onSuccess, this));
}

void PulseTonePlayer::onStreamState(pa_stream*, void* self) {
    static_cast<PulseTonePlayer*>(self)->m_connection.Signal();
}

void PulseTonePlayer::onSuccess(pa_stream*, int, void* self) {
    static_cast<PulseTonePlayer*>(self)->m_connection.Signal();
}

}  // namespace sonaro
