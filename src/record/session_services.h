#pragma once

#include <string>
#include <string_view>

namespace sonaro {

// The player as the session sees it. The inert default is never busy and plays nothing.
// User-interface thread.
class RecordingPlayer {
  public:
    virtual ~RecordingPlayer() = default;
    virtual bool IsBusy() const { return false; }
    virtual bool IsPlaying() const { return false; }
    virtual bool IsPaused() const { return false; }
    virtual void Pause() {}
    virtual void Resume() {}
    virtual void RestartPlayback() {}
    virtual void StopPlayback() {}
    virtual bool PlayFile(const std::string& path, const std::string& device) {
        (void)path;
        (void)device;
        return false;
    }
    // Why the last PlayFile failed when the file was fine (the output could not be opened);
    // empty otherwise.
    virtual std::string failureText() const { return {}; }
};

// Where completed recordings go to be sent. The inert default sends nothing.
// User-interface thread.
class TransmitHandoff {
  public:
    virtual ~TransmitHandoff() = default;
    virtual void EnqueueRecording(const std::string& path) { (void)path; }
    virtual void ResumeQueueAtStartup(const std::string& queuePath) { (void)queuePath; }
};

// The program's short sounds. PlayTone returns when the sound has ended (or could not be
// played: a missing sound server must not stop a recording).
class TonePlayer {
  public:
    static constexpr std::string_view kRecordTone = "WAV_RECORD_TONE";
    static constexpr std::string_view kStoppedTone = "WAV_STOPPED_TONE";

    virtual ~TonePlayer() = default;
    // False when the sound could not be played.
    virtual bool PlayTone(std::string_view resource) = 0;
};

}  // namespace sonaro
