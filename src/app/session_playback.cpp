#include "app/session_playback.h"

#include "formats/audio_file_opener.h"
#include "support/prompter.h"

namespace sonaro {

SessionPlayback::SessionPlayback(PlaybackEngine& engine, Prompter& prompter,
                                 std::function<void()> stateChanged)
    : m_engine(engine), m_prompter(prompter), m_stateChanged(std::move(stateChanged)) {
    m_engine.SetListener(this, 0);
}

SessionPlayback::~SessionPlayback() {
    m_engine.SetListener(nullptr, 0);
}

bool SessionPlayback::PlayFile(const std::string& path, const std::string& device) {
    SourceRef source = OpenRecordingFile(path);
    if (source->isUnusable()) {
        m_failure.clear();
        return false;
    }
    m_path = path;
    m_lengthFrames = source->GetLength();
    m_engine.SetDeviceSelection({device});
    const bool started = m_engine.Play(std::move(source));
    m_failure = started ? std::string() : m_engine.errorText();
    return started;
}

void SessionPlayback::RestartPlayback() {
    // A seek while paused would only loop a snippet at the start: play on from there.
    m_engine.Seek(0);
    m_engine.Resume();
}

void SessionPlayback::OnStarted(std::uint32_t) {
    m_stateChanged();
}

void SessionPlayback::OnStopped(std::uint32_t) {
    m_stateChanged();
}

void SessionPlayback::OnPaused(std::uint32_t) {
    m_stateChanged();
}

void SessionPlayback::OnFailed(const std::string& reason, std::uint32_t) {
    m_prompter.ShowError("Playback stopped.\r\n\r\n" + reason, "Playback Error");
}

}  // namespace sonaro
