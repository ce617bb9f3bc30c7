#include "ui/record_setting_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/placeholder_sinks.h"
#include "support/prompter.h"
#include "threads/child_process.h"
#include "ui/ldb_display.h"
#include "ui/ldb_edit.h"

namespace sonaro {

// Passes the dialog capture's levels to the bar.
class LRecordSettingDlg::Levels final : public CaptureListener {
  public:
    explicit Levels(LDBDisplay*& bar) : m_bar(bar) {}
    void OnRecording(std::uint32_t) override {}
    void OnWaitingForVoice(std::uint32_t) override {}
    void OnStopped(std::uint32_t) override {}
    void OnRecordedTime(int, std::uint32_t) override {}
    void OnLevels(const LevelSet* levels, std::uint32_t) override { m_bar->SetLevels(levels); }
    void OnCaptureFailed(CaptureFailure, std::uint32_t) override { m_bar->setEnabled(false); }

  private:
    LDBDisplay*& m_bar;
};

LRecordSettingDlg::LRecordSettingDlg(SettingsStore& settings, WaveInDeviceList& devices,
                                     UiDispatcher& dispatcher, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_devices(devices),
      m_prompter(prompter),
      m_levels(std::make_unique<Levels>(m_levelBar)),
      m_engine(std::make_unique<CaptureEngine>(devices, dispatcher)) {
    setWindowTitle(kTitle);
    buildControls();
    m_engine->SetListener(m_levels.get(), 0);
    const InputSelection selection = LoadInputSelection(m_settings, m_devices);
    fillDevices();
    m_deviceList->setCurrentIndex(std::min(selection.deviceNumber, m_deviceList->count() - 1));
    fillSources();
    m_sourceList->setCurrentIndex(std::min(selection.sourceNumber, m_sourceList->count() - 1));
    m_volume->setValue(m_settings.Read(setting::kRecordVolume));
    showVolumeOrMixer();
    connect(m_deviceList, &QComboBox::activated, this, [this] {
        fillSources();
        showVolumeOrMixer();
        restartMonitoring();
    });
    connect(m_sourceList, &QComboBox::activated, this, [this] {
        showVolumeOrMixer();
        restartMonitoring();
    });
    connect(m_volume, &LDBEdit::changed, this,
            [this](int value) { m_engine->ApplyRecordVolume(static_cast<std::int8_t>(value)); });
    connect(m_mixerButton, &QPushButton::clicked, this, &LRecordSettingDlg::openMixer);
}

LRecordSettingDlg::~LRecordSettingDlg() {
    m_engine->SetListener(nullptr, 0);
    m_engine->StopCapture();
}

void LRecordSettingDlg::buildControls() {
    auto* intro = new QLabel(
        tr("Connect your microphone, choose it below and speak normally. The bar shows the "
           "input level: aim for the green part, with only the loudest moments reaching red."),
        this);
    intro->setWordWrap(true);
    m_deviceList = new QComboBox(this);
    m_deviceList->setObjectName("control103");
    m_sourceList = new QComboBox(this);
    m_sourceList->setObjectName("control105");
    m_volume = new LDBEdit(this);
    m_volume->setObjectName("control108");
    m_mixerButton = new QPushButton(tr(kMixerButtonText), this);
    m_mixerButton->setObjectName("control107");
    m_levelBar = new LDBDisplay(this);
    m_levelBar->setObjectName("control109");
    m_levelBar->setMinimumHeight(fontMetrics().height());

    auto* input = new QGroupBox(tr("Input"), this);
    auto* form = new QFormLayout(input);
    form->addRow(tr("Record device:"), m_deviceList);
    form->addRow(tr("Input channel:"), m_sourceList);
    m_volumeLabel = new QLabel(tr("Record volume:"), input);
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(m_volume);
    volumeRow->addWidget(m_mixerButton);
    form->addRow(m_volumeLabel, volumeRow);
    form->addRow(tr("Input level:"), m_levelBar);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(input);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 64);
}

void LRecordSettingDlg::fillDevices() {
    m_deviceList->clear();
    for (const std::string& name : DeviceListItems(m_devices)) {
        m_deviceList->addItem(QString::fromStdString(name));
    }
}

void LRecordSettingDlg::fillSources() {
    m_sourceList->clear();
    for (const std::string& name :
         SourceListItems(m_devices, std::max(m_deviceList->currentIndex(), 0))) {
        m_sourceList->addItem(QString::fromStdString(name));
    }
    m_sourceList->setCurrentIndex(0);
}

InputSelection LRecordSettingDlg::currentSelection() const {
    return {std::max(m_deviceList->currentIndex(), 0), std::max(m_sourceList->currentIndex(), 0)};
}

void LRecordSettingDlg::showVolumeOrMixer() {
    // Source 0 leaves the mixer alone, so its volume belongs to the desktop's sound settings.
    const bool mixer = currentSelection().sourceNumber == 0;
    m_volume->setVisible(!mixer);
    m_mixerButton->setVisible(mixer);
}

void LRecordSettingDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        restartMonitoring();
    }
}

void LRecordSettingDlg::restartMonitoring() {
    m_engine->StopCapture();
    m_engine->ApplyInputSelection(currentSelection());
    m_engine->ApplyRecordVolume(static_cast<std::int8_t>(m_volume->value()));
    const bool started =
        m_engine->StartCapture(SinkRef(new DiscardSink(11025, 1)), 0, LevelSet::kSilence,
                               CaptureEngine::kNoSilenceLimitMs, CaptureEngine::kStartRecording);
    m_levelBar->setEnabled(started);
    const LevelSet silence{1, {LevelSet::kSilence}};
    m_levelBar->SetLevels(&silence);
}

bool LRecordSettingDlg::monitoring() const {
    return m_engine->state() != CaptureState::Idle;
}

void LRecordSettingDlg::openMixer() {
    OpenRecordMixer(m_prompter);
}

void LRecordSettingDlg::accept() {
    SaveInputSelection(m_settings, m_devices, currentSelection());
    m_settings.Write(setting::kRecordVolume, m_volume->value());
    QDialog::accept();
}

void LRecordSettingDlg::done(int result) {
    m_engine->StopCapture();
    QDialog::done(result);
}

void OpenRecordMixer(Prompter& prompter) {
    const std::string program = FindProgramOnPath(LRecordSettingDlg::kMixerProgram);
    ChildProcess child;
    if (!program.empty() && child.start({{program, "--tab=4"}, {}, false, false, {}})) {
        child.detach();
        return;
    }
    prompter.ShowMessage(
        {"The sound settings program \"pavucontrol\" is not installed, so Sonaro cannot open "
         "it.\r\n\r\nInstall it (package \"pavucontrol\"), or set the record volume in your "
         "desktop's sound settings.",
         "Record Mixer", PromptButtons::Ok, PromptIcon::Information, PromptAnswer::Ok});
}

}  // namespace sonaro
