#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

#include "audio/audio_source.h"
#include "recordings/playback_listener.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

namespace sonaro {

class PlaybackEngine;
class PlaySourceProvider;
class PlayerLevelMeter;
class Prompter;
class SettingsStore;
class WaveOutDeviceList;

// "%ld:%.2ld:%.2d.%.2d": hours, minutes, seconds and hundredths of `ms` + 5 (negative as 0).
QString PlayerClockText(std::int64_t ms);

// The player: a small modeless window with the transport buttons, a position clock, a seek bar,
// the volume, the output device and a level meter over a PlaybackEngine. Every play opens a fresh
// source from the provider at the shown position.
//
// Pause never pauses the engine: it stops it and keeps the shown position, so the next play opens
// the file again from there (a recording that grew meanwhile plays on to its new end). Rewind and
// Forward play while held, through a cue filter from the shown position; releasing goes back to
// what the window did before.
//
// User-interface thread. The engine outlives the window; the window is its listener while it
// exists.
class PlayerWindow final : public QDialog, private PlaybackListener {
    Q_OBJECT

  public:
    // What the window answers its opener when it closes to move to a neighbouring item.
    static constexpr int kPreviousItem = 2;
    static constexpr int kNextItem = 3;
    static constexpr int kCueRampMs = 8000;
    static constexpr std::int64_t kLastSecondsMs = 3000;
    // End while playing goes this far before the end, so that the end is heard.
    static constexpr std::int64_t kEndLeadMs = 1500;
    // Go to Start within this much of the start moves to the previous item instead.
    static constexpr std::int64_t kPreviousWithinMs = 1000;
    static constexpr int kTitleLimit = 260;
    // The volume slider covers -45 to 0 dB as 0 to 100.
    static constexpr int kVolumeFloorDb = -45;

    PlayerWindow(PlaybackEngine& engine, WaveOutDeviceList& devices, SettingsStore& settings,
                 PlaySourceProvider& provider, Prompter& prompter, QWidget* parent = nullptr);
    ~PlayerWindow() override;

    // Shows the window and plays from the start.
    void Open();

    // Stops, stores the device and volume, and hands an edited name to the provider.
    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    // What the window did when a cue button went down, to go back to it on release.
    enum class CueFrom { None, Stopped, Paused, Playing };

    void OnStarted(std::uint32_t cookie) override;
    void OnStopped(std::uint32_t cookie) override;
    void OnPosition(std::int64_t ms, std::uint32_t cookie) override;
    void OnLevels(const LevelSet& levels, std::uint32_t cookie) override;

    void buildControls();
    void fillDevices();
    void play();
    void pause();
    void stop();
    void playLastSeconds();
    void goToStart(bool button);
    void goToEnd(bool button);
    void startCue(bool forward);
    void endCue();
    // Plays `source` from `fromMs`; false when it is unusable or the device cannot start.
    bool playFrom(SourceRef source, std::int64_t fromMs);
    void takeLength(const SourceRef& source);
    void seekTo(std::int64_t ms);
    void chooseDevice();
    void moveVolume(int value);
    void showPosition();
    void updateButtons();

    PlaybackEngine& m_engine;
    WaveOutDeviceList& m_devices;
    SettingsStore& m_settings;
    PlaySourceProvider& m_provider;
    Prompter& m_prompter;

    QLineEdit* m_name = nullptr;
    QLabel* m_clock = nullptr;
    PlayerLevelMeter* m_meter = nullptr;
    QSlider* m_seekBar = nullptr;
    QSlider* m_volume = nullptr;
    QComboBox* m_deviceList = nullptr;
    QToolButton* m_play = nullptr;
    QToolButton* m_pause = nullptr;
    QToolButton* m_stop = nullptr;
    QToolButton* m_toStart = nullptr;
    QToolButton* m_rewind = nullptr;
    QToolButton* m_forward = nullptr;
    QToolButton* m_toEnd = nullptr;

    std::int64_t m_positionMs = 0;
    std::int64_t m_lengthMs = 0;
    int m_rate = 0;
    int m_volumeDb = 0;
    bool m_paused = false;
    CueFrom m_cue = CueFrom::None;
};

}  // namespace sonaro
