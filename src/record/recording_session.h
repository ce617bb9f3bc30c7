#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "audio/audio_sink.h"
#include "formats/format_settings.h"
#include "formats/recording_journal.h"
#include "record/capture_engine.h"
#include "record/recording_display.h"
#include "record/session_services.h"

namespace sonaro {

class FileNaming;
class ProgramLog;
class Prompter;
class SettingsStore;

// "MaxTime" text as milliseconds: digits build the current field in seconds, ':' multiplies the
// total by 60 (a third ':' starts a fraction), '.' starts a fraction (hundreds, tens, units of
// milliseconds), '-' makes the result negative, anything else is skipped.
std::int64_t ParseTimeText(std::string_view text);

// What the session works with. Every reference outlives the session.
struct RecordingSessionParts {
    SettingsStore& settings;
    FormatSettings& formats;
    FileNaming& naming;
    CaptureEngine& engine;
    WaveInDeviceList& devices;
    Prompter& prompter;
    ProgramLog& log;
    TonePlayer& tones;
    // A writer for a recording at the path in `format`; unusable on failure, its WriteError
    // saying why.
    std::function<SinkRef(const std::string& path, const RecordingFormat& format)> openWriter;
    // The transmit queue file resumed at Attach.
    std::string queuePath;
    // The journal of recordings being written (empty: none); those it lists at Attach are
    // repaired.
    std::string journalPath;
};

// The object behind the transport buttons, the hot keys and the command line: owns the current
// output file and decides what Record, Pause, Restart, Stop, Done and Play mean in each state.
// Lives on the user-interface thread, where every command, timer and engine report runs.
class LRecordingSession final : public CaptureListener {
  public:
    static constexpr int kDefaultMaxMs = 216000000;
    static constexpr int kFreeSpaceFirstMs = 500;
    static constexpr int kFreeSpaceRepeatMs = 3000;
    static constexpr int kFirstRunMs = 500;

    explicit LRecordingSession(RecordingSessionParts parts);
    ~LRecordingSession() override;
    LRecordingSession(const LRecordingSession&) = delete;
    LRecordingSession& operator=(const LRecordingSession&) = delete;

    // The main window, or nullptr while there is none.
    void SetDisplay(RecordingDisplay* display);
    // Installed by the application; nullptr restores the inert default.
    void SetPlayer(RecordingPlayer* player);
    void SetTransmit(TransmitHandoff* transmit);
    // Asked when capture stops: true ends the program ("-exitifstop").
    void SetExitWhenStopped(std::function<bool()> query) { m_exitWhenStopped = std::move(query); }

    // Both true when capture runs afterwards; a failure has been reported to the user and logged.
    bool Record(int maxMs);
    // Refuses to replace an existing file that is not a regular file with a recording extension.
    bool RecordToFile(const std::string& path, int maxMs);
    void Pause();
    void Restart();
    void Stop();
    void Done();
    void Play();
    // The player started, paused or stopped: the Play and Pause buttons show it.
    void OnPlaybackChanged();
    void OnTimer(SessionTimer timer);

    // Once, after the main window exists.
    void Attach();
    // The main window is going: no more reports, capture stops without a stop tone.
    void Shutdown();

    bool IsIdle() const { return !captureRunning() && !m_paused; }
    bool isPaused() const { return m_paused; }
    const std::string& currentPath() const { return m_path; }
    // Milliseconds recorded into the current file, as capture last reported them.
    int recordedMs() const { return m_recordedMs; }
    bool captureRunning() const;
    bool playerPlaying() const { return m_player->IsPlaying(); }
    bool playerPaused() const { return m_player->IsPaused(); }

    void OnRecording(std::uint32_t cookie) override;
    void OnWaitingForVoice(std::uint32_t cookie) override;
    void OnStopped(std::uint32_t cookie) override;
    void OnRecordedTime(int ms, std::uint32_t cookie) override;
    void OnLevels(const LevelSet* levels, std::uint32_t cookie) override;
    void OnCaptureFailed(CaptureFailure failure, std::uint32_t cookie) override;
    // Logs the gap with its length and place and shows it until the next capture starts.
    void OnSoundLost(int lostMs, std::int64_t atMs, std::uint32_t cookie) override;

  private:
    bool chooseNewName(std::string& name);
    bool promptForName(std::string& name);
    bool confirmReplace(bool prompted, bool& promptAgain);
    void startNewFile(std::string path);
    bool openOutputFile();
    bool beginCapture(int maxMs);
    // Closes the current file; one that holds no frames is removed. False when it was removed.
    bool releaseFile();
    // The current file is gone: the display goes back to the recording before it.
    void forgetFile();
    void showIdle();
    void refreshFileDisplay();
    bool maxTimeReached(int ms) const;
    void checkWriteError();
    // Completes the recordings an earlier run left open and tells the user which.
    void repairInterruptedRecordings();
    // Ends the recording after a failure: what was written stays, the user is told why.
    void abandonRecording(const std::string& reason, bool recorded);
    void playTone(std::string_view resource);
    int intervalMs() const;

    RecordingSessionParts m_parts;
    RecordingDisplay m_noDisplay;
    RecordingPlayer m_noPlayer;
    TransmitHandoff m_noTransmit;
    RecordingDisplay* m_display = &m_noDisplay;
    bool m_hasWindow = false;
    RecordingPlayer* m_player = &m_noPlayer;
    TransmitHandoff* m_transmit = &m_noTransmit;
    std::function<bool()> m_exitWhenStopped;

    std::string m_path;
    RecordingFormat m_format;
    // "LastRecordingFilePath" before the current file, shown again when that file is removed.
    std::string m_previousPath;
    SinkRef m_writer;
    int m_recordedMs = 0;
    RecordingJournal m_journal;
    bool m_completed = false;
    bool m_paused = false;
    bool m_reopen = false;
    bool m_checkMaxTime = false;
    std::int64_t m_maxTimeMs = 0;
    std::int64_t m_maxTimeTextMs = 0;
    bool m_stopAtMaxTime = true;
    bool m_failing = false;
};

}  // namespace sonaro
