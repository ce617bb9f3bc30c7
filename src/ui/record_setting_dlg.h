#pragma once

#include <QDialog>

#include <memory>

#include "record/capture_engine.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace sonaro {

class LDBDisplay;
class LDBEdit;
class Prompter;
class SettingsStore;
class UiDispatcher;

// "Microphone Connection and Record Volume": the record device and source, the record volume, and
// a level bar fed by a capture of its own that writes nowhere, so the user can check the input
// before recording. OK saves the input selection and "RecordVolume".
//
// User-interface thread. The dialog's capture runs while it is open and stops when it closes.
class LRecordSettingDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Microphone Connection and Record Volume";
    static constexpr const char* kMixerButtonText = "Open Windows Record Mixer";
    // The desktop's sound settings program started by the mixer button.
    static constexpr const char* kMixerProgram = "pavucontrol";

    LRecordSettingDlg(SettingsStore& settings, WaveInDeviceList& devices, UiDispatcher& dispatcher,
                      Prompter& prompter, QWidget* parent = nullptr);
    ~LRecordSettingDlg() override;

    // True while the dialog's capture runs.
    bool monitoring() const;
    QComboBox* deviceList() const { return m_deviceList; }
    QComboBox* sourceList() const { return m_sourceList; }
    LDBEdit* volumeSlider() const { return m_volume; }
    QPushButton* mixerButton() const { return m_mixerButton; }
    LDBDisplay* levelBar() const { return m_levelBar; }

    void accept() override;
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    class Levels;

    void buildControls();
    void fillDevices();
    void fillSources();
    void restartMonitoring();
    void showVolumeOrMixer();
    void openMixer();
    InputSelection currentSelection() const;

    SettingsStore& m_settings;
    WaveInDeviceList& m_devices;
    Prompter& m_prompter;
    std::unique_ptr<Levels> m_levels;
    std::unique_ptr<CaptureEngine> m_engine;
    QComboBox* m_deviceList = nullptr;
    QComboBox* m_sourceList = nullptr;
    LDBEdit* m_volume = nullptr;
    QPushButton* m_mixerButton = nullptr;
    LDBDisplay* m_levelBar = nullptr;
    QLabel* m_volumeLabel = nullptr;
    bool m_started = false;
};

// "Open Windows Record Mixer": starts the desktop's record mixer (pavucontrol at its input
// devices), or says that none is installed.
void OpenRecordMixer(Prompter& prompter);

}  // namespace sonaro
