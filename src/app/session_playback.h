#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "record/session_services.h"
#include "recordings/playback_engine.h"

namespace sonaro {

class Prompter;

// The recording session's player: plays the last recording on the playback engine without a
// player window. `stateChanged` runs on the user-interface thread whenever playback starts,
// pauses or stops, so the session can show it; a failure while playing is shown through the
// prompter.
class SessionPlayback final : public RecordingPlayer, private PlaybackListener {
  public:
    SessionPlayback(PlaybackEngine& engine, Prompter& prompter, std::function<void()> stateChanged);
    ~SessionPlayback() override;
    SessionPlayback(const SessionPlayback&) = delete;
    SessionPlayback& operator=(const SessionPlayback&) = delete;

    bool IsBusy() const override { return !m_engine.IsStopped(); }
    bool IsPlaying() const override { return m_engine.IsPlaying(); }
    bool IsPaused() const override { return m_engine.IsPaused(); }
    void Pause() override { m_engine.Pause(); }
    void Resume() override { m_engine.Resume(); }
    void RestartPlayback() override;
    void StopPlayback() override { m_engine.Stop(); }
    bool PlayFile(const std::string& path, const std::string& device) override;
    std::string failureText() const override { return m_failure; }

    // The engine the file plays on (positions, rate, seeking).
    PlaybackEngine& engine() { return m_engine; }
    // The file last started and its length in frames of its rate.
    const std::string& currentFile() const { return m_path; }
    std::int64_t lengthFrames() const { return m_lengthFrames; }

  private:
    void OnStarted(std::uint32_t cookie) override;
    void OnStopped(std::uint32_t cookie) override;
    void OnPaused(std::uint32_t cookie) override;
    void OnFailed(const std::string& reason, std::uint32_t cookie) override;

    PlaybackEngine& m_engine;
    Prompter& m_prompter;
    std::function<void()> m_stateChanged;
    std::string m_failure;
    std::string m_path;
    std::int64_t m_lengthFrames = 0;
};

}  // namespace sonaro
