#include "ui/player_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "audio/time_conversion.h"
#include "recordings/cue_filter.h"
#include "recordings/play_source.h"
#include "recordings/playback_engine.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/prompter.h"
#include "ui/player_level_meter.h"
#include "ui/window_placement.h"

namespace sonaro {
namespace {

constexpr const char* kDeviceErrorText =
    "There was an unknown problem when starting the sound device.";
constexpr const char* kDeviceErrorTitle = "Sound Device Error";
constexpr WindowPlacementSettings kPlacement{setting::kPlayerX, setting::kPlayerY,
                                             setting::kPlayerWidth, setting::kPlayerHeight,
                                             setting::kPlayerMaximized};

struct CueSpeeds {
    double start, end;
};
// Slower from a pause, where the user is looking for a place rather than skipping.
constexpr CueSpeeds kRewind{-0.5, -7.0};
constexpr CueSpeeds kRewindPaused{-0.1, -3.0};
constexpr CueSpeeds kForward{1.5, 7.0};
constexpr CueSpeeds kForwardPaused{0.1, 3.0};

int SliderFromDb(int db) {
    return std::clamp((db - PlayerWindow::kVolumeFloorDb) * 100 / -PlayerWindow::kVolumeFloorDb, 0,
                      100);
}

int DbFromSlider(int value) {
    return static_cast<int>(std::lround(value * -PlayerWindow::kVolumeFloorDb / 100.0)) +
           PlayerWindow::kVolumeFloorDb;
}

QToolButton* TransportButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                             const char* tip, bool latching) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(QLatin1String(tip));
    button->setCheckable(latching);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

QString PlayerClockText(std::int64_t ms) {
    const std::int64_t t = std::max<std::int64_t>(ms, 0) + 5;
    return QString::asprintf("%ld:%.2ld:%.2d.%.2d", static_cast<long>(t / 3600000),
                             static_cast<long>(t / 60000 % 60), static_cast<int>(t / 1000 % 60),
                             static_cast<int>(t % 1000 / 10));
}

PlayerWindow::PlayerWindow(PlaybackEngine& engine, WaveOutDeviceList& devices,
                           SettingsStore& settings, PlaySourceProvider& provider,
                           Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      m_engine(engine),
      m_devices(devices),
      m_settings(settings),
      m_provider(provider),
      m_prompter(prompter) {
    setObjectName(QStringLiteral("LPlayDlg"));
    setModal(false);
    buildControls();

    const QString title = QString::fromStdString(m_provider.title());
    setWindowTitle(title);
    m_name->setText(title);
    m_volumeDb = m_settings.Read(setting::kPlayerVolumeDb);
    {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(SliderFromDb(m_volumeDb));
    }
    m_engine.SetVolume(m_volumeDb);
    fillDevices();
    m_engine.SetDeviceSelection({m_deviceList->currentText().toStdString()});
    m_engine.SetListener(this, 0);
    takeLength(m_provider.OpenPlaySource());
    showPosition();
    updateButtons();
    RestoreWindowPlacement(*this, m_settings, kPlacement);
}

PlayerWindow::~PlayerWindow() {
    m_engine.SetListener(nullptr, 0);
    m_engine.Stop();
}

void PlayerWindow::buildControls() {
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setToolTip(QStringLiteral("Name"));
    m_name->setMaxLength(kTitleLimit);
    // Keys belong to the transport until the user clicks into the name.
    m_name->setFocusPolicy(Qt::ClickFocus);

    m_clock = new QLabel(this);
    m_clock->setObjectName(QStringLiteral("clock"));
    QFont clockFont = m_clock->font();
    clockFont.setPointSizeF(clockFont.pointSizeF() * 1.8);
    clockFont.setStyleHint(QFont::Monospace);
    m_clock->setFont(clockFont);
    m_meter = new PlayerLevelMeter(this);
    m_meter->setMinimumHeight(m_meter->sizeHint().height());

    m_seekBar = new QSlider(Qt::Horizontal, this);
    m_seekBar->setObjectName(QStringLiteral("seekBar"));
    m_seekBar->setRange(0, 100);
    m_seekBar->setFocusPolicy(Qt::NoFocus);
    connect(m_seekBar, &QSlider::valueChanged, this,
            [this](int value) { seekTo(static_cast<std::int64_t>(value * 0.01 * m_lengthMs)); });

    m_play = TransportButton(this, "play", QStyle::SP_MediaPlay, "Play (F9)", true);
    m_pause = TransportButton(this, "pause", QStyle::SP_MediaPause, "Pause (Space)", true);
    m_stop = TransportButton(this, "stop", QStyle::SP_MediaStop, "Stop (Esc)", true);
    m_toStart =
        TransportButton(this, "goToStart", QStyle::SP_MediaSkipBackward,
                        m_provider.HasPrevious() ? "Go to Start / Previous Track (Home/PgUp)"
                                                 : "Go to Start (Home)",
                        false);
    m_rewind = TransportButton(this, "rewind", QStyle::SP_MediaSeekBackward, "Rewind (<-)", false);
    m_forward =
        TransportButton(this, "forward", QStyle::SP_MediaSeekForward, "Forward (->)", false);
    m_toEnd =
        TransportButton(this, "goToEnd", QStyle::SP_MediaSkipForward,
                        m_provider.HasNext() ? "Next Track (PgDn)" : "Go to End (End)", false);
    connect(m_play, &QToolButton::clicked, this, &PlayerWindow::play);
    connect(m_pause, &QToolButton::clicked, this, &PlayerWindow::pause);
    connect(m_stop, &QToolButton::clicked, this, &PlayerWindow::stop);
    connect(m_toStart, &QToolButton::clicked, this, [this] { goToStart(true); });
    connect(m_toEnd, &QToolButton::clicked, this, [this] { goToEnd(true); });
    connect(m_rewind, &QToolButton::pressed, this, [this] { startCue(false); });
    connect(m_forward, &QToolButton::pressed, this, [this] { startCue(true); });
    connect(m_rewind, &QToolButton::released, this, &PlayerWindow::endCue);
    connect(m_forward, &QToolButton::released, this, &PlayerWindow::endCue);

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setToolTip(QStringLiteral("Volume"));
    m_volume->setRange(0, 100);
    m_volume->setFocusPolicy(Qt::NoFocus);
    m_volume->setMaximumWidth(100);
    connect(m_volume, &QSlider::valueChanged, this, &PlayerWindow::moveVolume);

    m_deviceList = new QComboBox(this);
    m_deviceList->setObjectName(QStringLiteral("device"));
    m_deviceList->setToolTip(QStringLiteral("Playback Device"));
    m_deviceList->setFocusPolicy(Qt::NoFocus);

    auto* display = new QHBoxLayout;
    display->addWidget(m_clock);
    display->addWidget(m_meter, 1);
    auto* transport = new QHBoxLayout;
    for (QToolButton* button : {m_play, m_pause, m_stop, m_toStart, m_rewind, m_forward, m_toEnd}) {
        transport->addWidget(button);
    }
    transport->addStretch(1);
    transport->addWidget(m_volume);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addLayout(display);
    layout->addWidget(m_seekBar);
    layout->addLayout(transport);
    layout->addWidget(m_deviceList);
}

void PlayerWindow::fillDevices() {
    const QSignalBlocker quiet(m_deviceList);
    m_deviceList->addItem(QString::fromLatin1(WaveOutDeviceList::kDefaultDevice));
    for (const std::string& name : m_devices.DeviceNames()) {
        m_deviceList->addItem(QString::fromStdString(name));
    }
    // A device that is gone is the default one.
    const int stored =
        m_deviceList->findText(QString::fromStdString(m_settings.Read(setting::kPlayerDevice)));
    m_deviceList->setCurrentIndex(std::max(stored, 0));
    connect(m_deviceList, &QComboBox::currentIndexChanged, this, &PlayerWindow::chooseDevice);
}

void PlayerWindow::Open() {
    show();
    raise();
    activateWindow();
    play();
}

void PlayerWindow::done(int result) {
    m_cue = CueFrom::None;
    m_engine.Stop();
    m_settings.Write(setting::kPlayerDevice, m_deviceList->currentText().toStdString());
    m_settings.Write(setting::kPlayerVolumeDb, m_volumeDb);
    SaveWindowPlacement(*this, m_settings, kPlacement);
    if (m_name->isModified()) {
        m_provider.SetTitle(m_name->text().left(kTitleLimit).toStdString());
        m_name->setModified(false);
    }
    QDialog::done(result);
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
    const bool alt = (event->modifiers() & Qt::AltModifier) != 0;
    switch (event->key()) {
        case Qt::Key_F9:
            alt ? playLastSeconds() : play();
            break;
        case Qt::Key_Space:
        case Qt::Key_F10:
            pause();
            break;
        case Qt::Key_Escape:
            stop();
            break;
        case Qt::Key_Home:
            goToStart(false);
            break;
        case Qt::Key_End:
            goToEnd(false);
            break;
        case Qt::Key_PageUp:
            if (m_provider.HasPrevious()) {
                done(kPreviousItem);
            }
            break;
        case Qt::Key_PageDown:
            if (m_provider.HasNext()) {
                done(kNextItem);
            }
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
            // The key presses the button; its repeats while held change nothing.
            if (!event->isAutoRepeat()) {
                QToolButton* button = event->key() == Qt::Key_Left ? m_rewind : m_forward;
                button->setDown(true);
                startCue(button == m_forward);
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            accept();
            break;
        default:
            QDialog::keyPressEvent(event);
            return;
    }
    event->accept();
}

void PlayerWindow::keyReleaseEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && !event->isAutoRepeat()) {
        m_rewind->setDown(false);
        m_forward->setDown(false);
        endCue();
        event->accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void PlayerWindow::play() {
    m_engine.Stop();
    m_paused = false;
    SourceRef source = m_provider.OpenPlaySource();
    takeLength(source);
    // A play from the end starts over.
    playFrom(std::move(source), m_positionMs >= m_lengthMs ? 0 : m_positionMs);
}

void PlayerWindow::pause() {
    m_engine.Stop();
    m_paused = true;
    updateButtons();
}

void PlayerWindow::stop() {
    m_cue = CueFrom::None;
    m_engine.Stop();
    m_paused = false;
    m_positionMs = 0;
    showPosition();
    updateButtons();
}

void PlayerWindow::playLastSeconds() {
    m_engine.Stop();
    m_paused = false;
    SourceRef source = m_provider.OpenPlaySource();
    takeLength(source);
    playFrom(std::move(source), std::max<std::int64_t>(m_lengthMs - kLastSecondsMs, 0));
}

bool PlayerWindow::playFrom(SourceRef source, std::int64_t fromMs) {
    bool started = false;
    if (!source->isUnusable()) {
        m_rate = source->rate();
        m_positionMs = fromMs;
        if (fromMs != 0) {
            source->Seek(FramesFromMs(fromMs, m_rate));
        }
        started = m_engine.Play(std::move(source));
    }
    showPosition();
    updateButtons();
    return started;
}

void PlayerWindow::takeLength(const SourceRef& source) {
    if (!source->isUnusable()) {
        m_lengthMs = MsFromFrames(source->GetLength(), source->rate());
    }
}

void PlayerWindow::goToStart(bool button) {
    if (button && m_provider.HasPrevious() && m_positionMs < kPreviousWithinMs) {
        done(kPreviousItem);
        return;
    }
    seekTo(0);
}

void PlayerWindow::goToEnd(bool button) {
    if (button && m_provider.HasNext()) {
        done(kNextItem);
        return;
    }
    seekTo(m_engine.IsPlaying() ? std::max<std::int64_t>(m_lengthMs - kEndLeadMs, 0) : m_lengthMs);
}

void PlayerWindow::seekTo(std::int64_t ms) {
    m_positionMs = ms;
    if (m_engine.IsPlaying()) {
        m_engine.Seek(FramesFromMs(ms, m_rate));
    }
    showPosition();
}

void PlayerWindow::startCue(bool forward) {
    if (m_cue != CueFrom::None) {
        return;
    }
    const bool paused = m_paused;
    m_cue = paused ? CueFrom::Paused : m_engine.IsPlaying() ? CueFrom::Playing : CueFrom::Stopped;
    m_engine.Stop();
    SourceRef source = m_provider.OpenPlaySource();
    bool started = false;
    if (!source->isUnusable()) {
        takeLength(source);
        m_rate = source->rate();
        if (m_positionMs != 0) {
            source->Seek(FramesFromMs(m_positionMs, m_rate));
        }
        const CueSpeeds speeds =
            forward ? (paused ? kForwardPaused : kForward) : (paused ? kRewindPaused : kRewind);
        started =
            m_engine.Play(MakeCueFilter(std::move(source), speeds.start, speeds.end, kCueRampMs));
    }
    updateButtons();
    if (!started) {
        // Nothing plays, so there is nothing for the release to end.
        m_cue = CueFrom::None;
        if (forward) {
            m_prompter.ShowError(kDeviceErrorText, kDeviceErrorTitle);
        }
    }
}

void PlayerWindow::endCue() {
    const CueFrom from = m_cue;
    if (from == CueFrom::None) {
        return;
    }
    m_cue = CueFrom::None;
    m_engine.Stop();
    switch (from) {
        case CueFrom::Playing:
            play();
            break;
        case CueFrom::Paused:
            m_paused = true;
            break;
        case CueFrom::Stopped:
        case CueFrom::None:
            break;
    }
    updateButtons();
}

void PlayerWindow::chooseDevice() {
    m_engine.SetDeviceSelection({m_deviceList->currentText().toStdString()});
    if (m_engine.IsPlaying() && m_cue == CueFrom::None) {
        play();
    }
}

void PlayerWindow::moveVolume(int value) {
    m_volumeDb = DbFromSlider(value);
    m_engine.SetVolume(m_volumeDb);
}

void PlayerWindow::showPosition() {
    m_clock->setText(PlayerClockText(m_positionMs));
    if (m_seekBar->isSliderDown()) {
        return;
    }
    const QSignalBlocker quiet(m_seekBar);
    m_seekBar->setValue(m_lengthMs > 0 ? static_cast<int>(std::clamp<std::int64_t>(
                                             m_positionMs * 100 / m_lengthMs, 0, 100))
                                       : 0);
}

void PlayerWindow::updateButtons() {
    m_play->setChecked(m_engine.IsPlaying() && !m_engine.IsPaused());
    m_pause->setChecked(m_paused || m_engine.IsPaused());
    m_stop->setChecked(m_engine.IsStopped() && !m_paused);
}

void PlayerWindow::OnStarted(std::uint32_t) {
    updateButtons();
}

void PlayerWindow::OnStopped(std::uint32_t) {
    LevelSet silence;
    silence.count = 2;
    silence.levels.fill(LevelSet::kSilence);
    m_meter->SetLevels(&silence);
    updateButtons();
}

void PlayerWindow::OnPosition(std::int64_t ms, std::uint32_t) {
    m_positionMs = ms;
    showPosition();
}

void PlayerWindow::OnLevels(const LevelSet& levels, std::uint32_t) {
    if (m_engine.IsPlaying()) {
        m_meter->SetLevels(&levels);
    }
}

}  // namespace sonaro
