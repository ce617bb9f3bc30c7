#include "recordings/playback_engine.h"

#include <algorithm>

#include "audio/time_conversion.h"
#include "formats/peak_limiter.h"

namespace sonaro {

namespace {

// A buffer's duration: how often the heard position moves on while playing.
int bufferMs(const WaveOutput& output, int rate) {
    return std::max(10, output.framesPerBuffer() * 1000 / std::max(1, rate));
}

}  // namespace

PlaybackEngine::PlaybackEngine(WaveOutDeviceList& devices, UiDispatcher& dispatcher)
    : m_devices(devices), m_notifier(dispatcher, *this) {}

PlaybackEngine::~PlaybackEngine() {
    m_listener = &m_silentListener;
    Stop();
}

void PlaybackEngine::SetListener(PlaybackListener* listener, std::uint32_t cookie) {
    m_listener = listener != nullptr ? listener : &m_silentListener;
    m_cookie = cookie;
}

bool PlaybackEngine::Play(SourceRef source) {
    Stop();
    if (source->isUnusable()) {
        m_error = "The file gives no sound that can be played.";
        return false;
    }
    if (source->peakBound() > kPeakBound) {
        source = MakePeakLimiter(std::move(source), kPeakBound);
    }
    std::unique_ptr<WaveOutDevice> device = m_devices.CreateDevice(m_selection.deviceName);
    if (!m_output.Open(std::move(device), *source, false)) {
        m_error = m_output.errorText();
        return false;
    }
    m_error.clear();
    m_source = std::move(source);
    m_rate = m_source->rate();
    applyVolume();
    startProducer(Mode::Play);
    m_listener->OnStarted(m_cookie);
    return true;
}

void PlaybackEngine::Stop() {
    const bool wasPlaying = IsPlaying();
    stopProducer();
    m_output.Close();
    m_source.reset();
    m_finished.store(false);
    m_updatePending.store(false);
    m_failed.store(false);
    if (wasPlaying) {
        m_listener->OnStopped(m_cookie);
    }
}

void PlaybackEngine::Pause() {
    const std::uint16_t state = m_output.state();
    if ((state & WaveOutput::kOpen) == 0 || (state & WaveOutput::kPaused) != 0) {
        return;
    }
    stopProducer();
    if (!m_output.device().SetPaused(true)) {
        failNow();
        return;
    }
    m_output.setState(state | WaveOutput::kPaused);
    m_listener->OnPaused(m_cookie);
}

void PlaybackEngine::Resume() {
    std::uint16_t state = m_output.state();
    if ((state & WaveOutput::kOpen) == 0) {
        return;
    }
    stopProducer();
    WaveOutDevice& device = m_output.device();
    if ((state & WaveOutput::kLooping) != 0) {
        if (!device.Flush()) {
            failNow();
            return;
        }
        m_output.ResetRing();
        m_source->Seek(m_output.position());
        state &= static_cast<std::uint16_t>(~WaveOutput::kLooping);
    }
    if ((state & WaveOutput::kPaused) != 0) {
        if (!device.SetPaused(false)) {
            failNow();
            return;
        }
        state &= static_cast<std::uint16_t>(~WaveOutput::kPaused);
    }
    m_output.setState(state);
    startProducer(Mode::Play);
    m_listener->OnStarted(m_cookie);
}

void PlaybackEngine::Seek(std::int64_t frame) {
    const std::uint16_t state = m_output.state();
    if ((state & WaveOutput::kOpen) == 0) {
        return;
    }
    stopProducer();
    WaveOutDevice& device = m_output.device();
    if (!device.Flush()) {
        failNow();
        return;
    }
    m_output.ResetRing();
    m_source->Seek(frame);
    const std::int64_t position = m_source->GetPosition();
    m_output.setPosition(position);
    m_finished.store(false);
    m_updatePending.store(false);
    m_listener->OnPosition(MsFromFrames(position, m_rate), m_cookie);
    // A second seek while the snippet loops moves the snippet; it does not start playing.
    if ((state & (WaveOutput::kPaused | WaveOutput::kLooping)) != 0) {
        m_output.PrepareScrub(*m_source);
        if (!device.SetPaused(false)) {
            failNow();
            return;
        }
        m_output.setState(WaveOutput::kOpen | WaveOutput::kLooping);
        startProducer(Mode::Scrub);
    } else {
        startProducer(Mode::Play);
    }
}

void PlaybackEngine::SetVolume(int volumeDb) {
    m_volumeDb = std::clamp(volumeDb, -127, 127);
    if (IsStopped()) {
        return;
    }
    const bool producing = IsRunning();
    stopProducer();
    applyVolume();
    if (producing) {
        startProducer(m_mode);
    }
}

void PlaybackEngine::applyVolume() {
    m_output.device().SetVolumeDb(m_volumeDb);
}

void PlaybackEngine::startProducer(Mode mode) {
    m_mode = mode;
    LWorkerThread::Start(ThreadPriority::Normal);
}

void PlaybackEngine::stopProducer() {
    LWorkerThread::Stop();
}

void PlaybackEngine::Run() {
    if (m_mode == Mode::Scrub) {
        scrub();
    } else {
        produce();
    }
}

bool PlaybackEngine::waitDevice(int ms) {
    return WaitForHandleOrStop(m_output.device().readyHandle(), ms) != WaitResult::Stopped;
}

int PlaybackEngine::takeBackHeard() {
    WaveOutDevice& device = m_output.device();
    device.ClearReady();
    if (device.hasFailed()) {
        reportFailure();
        return -1;
    }
    const int taken = m_output.Reclaim();
    if (taken > 0) {
        m_updatePending.store(true);
        m_notifier.notify();
    }
    return taken;
}

void PlaybackEngine::produce() {
    WaveOutDevice& device = m_output.device();
    AudioSource& source = *m_source;
    const int waitMs = bufferMs(m_output, m_rate);
    while (!IsStopRequested()) {
        if (takeBackHeard() < 0) {
            return;
        }
        const std::int64_t available = std::min<std::int64_t>(
            source.GetLength() - source.GetPosition(), WaveOutput::kMaxWriteFrames);
        if (available >= 1) {
            const int wanted = std::min(static_cast<int>(available), m_output.framesPerBuffer());
            if (m_output.nextSlotFree() && device.WritableFrames() >= wanted) {
                if (!m_output.WriteBuffer(source, static_cast<int>(available))) {
                    reportFailure();
                    return;
                }
            } else if (!waitDevice(waitMs)) {
                return;
            }
        } else if (source.IsGrowing()) {
            device.Trigger();
            source.WaitForData(kGrowingWaitMs);
        } else {
            playOutEnd();
            return;
        }
    }
}

void PlaybackEngine::playOutEnd() {
    const int waitMs = bufferMs(m_output, m_rate);
    m_output.device().Trigger();
    while (m_output.lastWrittenPending()) {
        const int taken = takeBackHeard();
        if (taken < 0 || (taken == 0 && !waitDevice(waitMs))) {
            return;
        }
    }
    m_updatePending.store(false);
    m_finished.store(true);
    m_notifier.notify();
}

void PlaybackEngine::scrub() {
    WaveOutDevice& device = m_output.device();
    while (!IsStopRequested()) {
        device.ClearReady();
        if (!m_output.QueueScrub()) {
            reportFailure();
            return;
        }
        if (!waitDevice(kMaxWaitMs)) {
            return;
        }
    }
}

void PlaybackEngine::reportFailure() {
    m_failed.store(true);
    m_notifier.notify();
}

void PlaybackEngine::failNow() {
    stopProducer();
    m_error = m_output.device().errorText();
    m_listener->OnFailed(m_error, m_cookie);
    Stop();
}

void PlaybackEngine::OnThreadNotify() {
    if (IsStopped()) {
        return;
    }
    if (m_failed.load()) {
        failNow();
    } else if (m_finished.load()) {
        m_listener->OnPosition(MsFromFrames(m_source->GetLength(), m_rate), m_cookie);
        Stop();
    } else if (m_updatePending.exchange(false)) {
        m_listener->OnPosition(MsFromFrames(m_output.position(), m_rate), m_cookie);
        m_listener->OnLevels(m_output.levels(), m_cookie);
    }
}

}  // namespace sonaro
