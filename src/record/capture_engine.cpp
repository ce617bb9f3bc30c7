#include "record/capture_engine.h"

#include <algorithm>
#include <climits>
#include <new>

#include "audio/channel_adapters.h"
#include "audio/rate_converter.h"
#include "audio/time_conversion.h"

namespace sonaro {
namespace {

class NullCaptureListener final : public CaptureListener {
  public:
    void OnRecording(std::uint32_t) override {}
    void OnWaitingForVoice(std::uint32_t) override {}
    void OnStopped(std::uint32_t) override {}
    void OnRecordedTime(int, std::uint32_t) override {}
    void OnLevels(const LevelSet*, std::uint32_t) override {}
    void OnCaptureFailed(CaptureFailure, std::uint32_t) override {}
};

NullCaptureListener g_nullListener;

constexpr int kFallbackRates[] = {44100, 22050, 11025, 8000};

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

std::string CaptureFailureText(CaptureFailure failure) {
    switch (failure) {
        case CaptureFailure::None:
            return {};
        case CaptureFailure::DeviceStalled:
            return "The sound device stopped delivering sound, so the recording was stopped.";
        case CaptureFailure::DeviceLost:
            return "The sound device was removed or stopped working, so the recording was "
                   "stopped.";
    }
    return {};
}

CaptureEngine::CaptureEngine(WaveInDeviceList& devices, UiDispatcher& dispatcher, int stallMs)
    : m_devices(devices),
      m_notifier(dispatcher, *this),
      m_stallMs(stallMs),
      m_listener(&g_nullListener) {
    m_soundLost.reserve(kMaxPendingGaps);
}

CaptureEngine::~CaptureEngine() {
    Stop();
}

void CaptureEngine::SetListener(CaptureListener* listener, std::uint32_t cookie) {
    m_listener = listener != nullptr ? listener : &g_nullListener;
    m_cookie = cookie;
}

void CaptureEngine::ApplyInputSelection(const InputSelection& selection) {
    m_selection = selection;
}

bool CaptureEngine::ApplyRecordVolume(std::int8_t volumeDb) {
    return m_devices.SetRecordSourceAndVolume(MixerDevice(m_devices, m_selection),
                                              m_selection.sourceNumber - 1, volumeDb);
}

int CaptureEngine::FramesPerBuffer(int rate) {
    return std::clamp(rate / 10, kMinBufferFrames, kMaxBlockFrames);
}

std::int64_t CaptureEngine::sinkMs() const {
    return MsFromFrames(m_sink->position(), m_sink->sampleRate());
}

bool CaptureEngine::StartCapture(SinkRef sink, int maxTimeMs, std::int8_t voiceLevel, int silenceMs,
                                 unsigned flags) {
    if (m_active) {
        StopCapture();
    }
    if (sink->isUnusable()) {
        return false;
    }
    m_sink = std::move(sink);
    m_levelCount = std::min(m_sink->channels(), LevelSet::kMaxChannels);
    {
        std::lock_guard lock(m_levelLock);
        m_levels.count = static_cast<std::uint8_t>(m_levelCount);
        m_levels.levels.fill(LevelSet::kSilence);
    }
    m_maxTimeMs = maxTimeMs;
    m_voiceLevel = voiceLevel;
    m_silenceLevel = static_cast<std::int8_t>(std::clamp(voiceLevel - 4, -127, 127));
    m_silenceMs = silenceMs;
    m_lastLoudMs.store(sinkMs());
    const CaptureState initial =
        (flags & kStartRecording) != 0 ? CaptureState::Recording : CaptureState::WaitingForVoice;
    m_state.store(static_cast<int>(initial));
    m_limitReached.store(false);
    m_levelsChanged.store(false);
    m_stateChanged.store(false);
    m_failure.store(0);
    m_opened.store(false);
    m_started.reset();
    Start(ReadThreadPriority(CurrentThreadId()));
    // The thread may already have ended (a device that failed at once): that is reported later
    // through the notifier, like any failure while capturing.
    if (!m_started.wait(kStartWaitMs) || !m_opened.load()) {
        // A thread still opening the device sees the stop request as soon as it has opened it.
        Stop();
        m_sink.reset();
        m_state.store(static_cast<int>(CaptureState::Idle));
        return false;
    }
    m_active = true;
    if (initial == CaptureState::Recording) {
        m_listener->OnRecording(m_cookie);
    } else {
        m_listener->OnWaitingForVoice(m_cookie);
    }
    m_listener->OnRecordedTime(clampToInt(m_lastLoudMs.load()), m_cookie);
    return true;
}

void CaptureEngine::StopCapture() {
    if (!m_active) {
        return;
    }
    Stop();
    m_active = false;
    const std::int64_t endMs = m_lastLoudMs.load() + kStopTailMs;
    if (sinkMs() > endMs) {
        m_sink->SeekTo(FramesFromMs(endMs, m_sink->sampleRate()));
    }
    const auto failure = static_cast<CaptureFailure>(m_failure.exchange(0));
    reportSoundLost();
    m_sink.reset();
    m_lastLoudMs.store(0);
    m_state.store(static_cast<int>(CaptureState::Idle));
    m_limitReached.store(false);
    m_levelsChanged.store(false);
    m_stateChanged.store(false);
    if (failure != CaptureFailure::None) {
        m_listener->OnCaptureFailed(failure, m_cookie);
    }
    m_listener->OnStopped(m_cookie);
}

void CaptureEngine::OnThreadNotify() {
    if (!m_active) {
        return;
    }
    if (m_failure.load() != 0 || m_limitReached.load()) {
        StopCapture();
        return;
    }
    reportSoundLost();
    if (m_levelsChanged.exchange(false)) {
        LevelSet levels;
        {
            std::lock_guard lock(m_levelLock);
            levels = m_levels;
        }
        m_listener->OnRecordedTime(clampToInt(m_lastLoudMs.load()), m_cookie);
        m_listener->OnLevels(&levels, m_cookie);
    }
    if (m_stateChanged.exchange(false)) {
        switch (state()) {
            case CaptureState::WaitingForVoice:
                m_listener->OnWaitingForVoice(m_cookie);
                break;
            case CaptureState::Recording:
                m_listener->OnRecording(m_cookie);
                break;
            case CaptureState::Idle:
                // The thread ended after the failure check above; the notify it posts last
                // reports why.
                break;
        }
    }
}

// --- capture thread ---

void CaptureEngine::Run() {
    if (!openDevice()) {
        m_device.reset();
        m_state.store(static_cast<int>(CaptureState::Idle));
        m_started.set();
        return;
    }
    m_opened.store(true);
    m_started.set();
    ApplyThreadPriority(CurrentThreadId(), ThreadPriority::TimeCritical);
    captureLoop();
    m_device->Close();
    m_device.reset();
    m_block = {};
    m_kept = {};
    m_preRoll = {};
}

WaveInOpenResult CaptureEngine::tryFormat(int rate, int channels) {
    const WaveInOpenResult result =
        m_device->Open(rate, channels, FramesPerBuffer(rate), kBufferCount);
    if (result == WaveInOpenResult::Opened) {
        m_deviceRate.store(rate);
        m_deviceChannels.store(channels);
    }
    return result;
}

// The sink's own format first; then fewer channels at the sink's rate and at the usual rates.
bool CaptureEngine::openDevice() {
    m_device = m_devices.CreateDevice(DeviceIdentifier(m_selection));
    if (!m_device) {
        return false;
    }
    const int wantedRate = m_sink->sampleRate();
    const int wantedChannels = m_sink->channels();
    WaveInOpenResult result = tryFormat(wantedRate, wantedChannels);
    for (int c = wantedChannels; c >= 1 && result == WaveInOpenResult::FormatRefused; --c) {
        if (c != wantedChannels) {
            result = tryFormat(wantedRate, c);
        }
        for (const int rate : kFallbackRates) {
            if (result != WaveInOpenResult::FormatRefused) {
                break;
            }
            if (rate != wantedRate) {
                result = tryFormat(rate, c);
            }
        }
    }
    if (result != WaveInOpenResult::Opened) {
        return false;
    }
    m_framesPerBuffer = FramesPerBuffer(m_deviceRate.load());
    const auto samples = static_cast<std::size_t>(m_framesPerBuffer) * m_deviceChannels.load();
    try {
        m_block.assign(samples, 0);
        m_kept.assign(samples, 0);
        m_preRollCapacity =
            static_cast<std::size_t>(FramesFromMs(m_preRollMs, m_deviceRate.load()));
        m_preRoll.assign(m_preRollCapacity * m_deviceChannels.load(), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return buildConverters(m_deviceRate.load(), m_deviceChannels.load());
}

// False when a converter cannot be built (out of memory): the capture then does not start.
bool CaptureEngine::buildConverters(int rate, int channels) {
    try {
        SinkRef chain = m_sink;
        if (channels < chain->channels()) {
            chain = MakeSink<MonoToStereoAdapter>(chain);
        }
        if (rate != chain->sampleRate()) {
            chain = MakeSink<RateConverter>(rate, chain);
        }
        if (channels != chain->channels()) {
            chain = MakeSink<StereoToMonoAdapter>(chain);
        }
        if (chain->isUnusable()) {
            return false;
        }
        m_sink = std::move(chain);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void CaptureEngine::captureLoop() {
    m_haveKept = false;
    m_preRollStart = 0;
    m_preRollFilled = 0;
    CaptureFailure failure = CaptureFailure::None;
    if (!m_device->Start()) {
        failure = CaptureFailure::DeviceLost;
    }
    while (failure == CaptureFailure::None) {
        const BlockWait wait = waitForBlock();
        if (wait != BlockWait::Ready) {
            m_device->Reset();
            if (wait == BlockWait::Stalled) {
                failure = CaptureFailure::DeviceStalled;
            } else if (wait == BlockWait::Lost) {
                failure = CaptureFailure::DeviceLost;
            }
            break;
        }
        handleBlock(takeBlock());
    }
    if (state() == CaptureState::Recording) {
        drain();
    }
    m_failure.store(static_cast<int>(failure));
    m_state.store(static_cast<int>(CaptureState::Idle));
    m_limitReached.store(false);
    m_levelsChanged.store(false);
    m_stateChanged.store(true);
    if (failure != CaptureFailure::None) {
        m_notifier.notify();
    }
}

CaptureEngine::BlockWait CaptureEngine::waitForBlock() {
    if (IsStopRequested()) {
        return BlockWait::Stopped;
    }
    for (;;) {
        if (m_device->PeekFilled().frames > 0) {
            return BlockWait::Ready;
        }
        if (m_device->hasFailed()) {
            return BlockWait::Lost;
        }
        const WaitResult result = WaitForHandleOrStop(m_device->readyHandle(), m_stallMs);
        if (result == WaitResult::Stopped) {
            return BlockWait::Stopped;
        }
        if (result == WaitResult::TimedOut) {
            return BlockWait::Stalled;
        }
    }
}

// User-interface thread.
void CaptureEngine::reportSoundLost() {
    std::vector<SoundLost> gaps;
    {
        std::lock_guard lock(m_levelLock);
        gaps.swap(m_soundLost);
        m_soundLost.reserve(kMaxPendingGaps);
    }
    for (const SoundLost& gap : gaps) {
        m_listener->OnSoundLost(gap.lostMs, gap.atMs, m_cookie);
    }
}

// Capture thread: the gap lies where the output stands now.
void CaptureEngine::noteSoundLost(int frames) {
    const int lostMs = clampToInt(MsFromFrames(frames, m_deviceRate.load()));
    {
        std::lock_guard lock(m_levelLock);
        if (m_soundLost.size() < kMaxPendingGaps) {
            m_soundLost.push_back({lostMs, sinkMs()});
        } else {
            m_soundLost.back().lostMs =
                clampToInt(std::int64_t{m_soundLost.back().lostMs} + lostMs);
        }
    }
    m_notifier.notify();
}

int CaptureEngine::takeBlock() {
    const CaptureBlock block = m_device->PeekFilled();
    if (block.lostFramesBefore > 0) {
        noteSoundLost(block.lostFramesBefore);
    }
    const int frames = std::min(block.frames, m_framesPerBuffer);
    ConvertPcm16ToInternal(block.samples, m_block.data(),
                           static_cast<std::int64_t>(frames) * m_deviceChannels.load());
    m_device->ReleaseFilled();
    return frames;
}

std::int8_t CaptureEngine::measure(int frames) {
    std::int8_t deviceLevels[LevelSet::kMaxChannels];
    const std::int8_t blockLevel =
        ComputeBlockLevels(m_block.data(), frames, m_deviceChannels.load(), deviceLevels);
    publishLevels(deviceLevels, blockLevel);
    return blockLevel;
}

// A mono device feeds both level slots of a stereo sink (the file gets the same sound in both);
// a stereo device feeding a mono sink shows the louder channel.
void CaptureEngine::publishLevels(const std::int8_t* deviceLevels, std::int8_t blockLevel) {
    const int deviceChannels = std::min(m_deviceChannels.load(), LevelSet::kMaxChannels);
    std::lock_guard lock(m_levelLock);
    for (int i = 0; i < m_levelCount; ++i) {
        std::int8_t level = deviceLevels[std::min(i, deviceChannels - 1)];
        if (m_levelCount == 1 && deviceChannels > 1) {
            level = blockLevel;
        }
        m_levels.levels[static_cast<std::size_t>(i)] = level;
    }
}

std::int8_t CaptureEngine::firstHalfLevel() {
    std::int8_t levels[LevelSet::kMaxChannels];
    return ComputeBlockLevels(m_block.data(), m_framesPerBuffer / 2, m_deviceChannels.load(),
                              levels);
}

void CaptureEngine::handleBlock(int frames) {
    const std::int8_t level = measure(frames);
    if (state() == CaptureState::WaitingForVoice) {
        handleWaiting(frames, level);
    } else {
        handleRecording(frames, level);
    }
    keepForPreRoll(frames);
    m_levelsChanged.store(true);
    m_notifier.notify();
}

// A loud block starts recording. When its first half is loud too, the voice may have begun in
// the block before: its second half is written first.
void CaptureEngine::handleWaiting(int frames, std::int8_t blockLevel) {
    if (blockLevel < m_voiceLevel) {
        std::copy_n(m_block.begin(), static_cast<std::ptrdiff_t>(frames) * m_deviceChannels.load(),
                    m_kept.begin());
        m_haveKept = true;
        return;
    }
    if (m_preRollCapacity > 0) {
        writePreRoll();
    } else if (m_haveKept && firstHalfLevel() >= m_voiceLevel) {
        const int half = m_framesPerBuffer / 2;
        m_sink->Write(m_kept.data() + static_cast<std::ptrdiff_t>(half) * m_deviceChannels.load(),
                      m_framesPerBuffer - half);
    }
    m_sink->Write(m_block.data(), frames);
    // The block that started recording is loud: silence is counted from its end, so that a
    // later trim never cuts it off.
    m_lastLoudMs.store(sinkMs());
    m_state.store(static_cast<int>(CaptureState::Recording));
    m_stateChanged.store(true);
}

void CaptureEngine::handleRecording(int frames, std::int8_t blockLevel) {
    m_sink->Write(m_block.data(), frames);
    const std::int64_t recorded = sinkMs();
    const std::int64_t lastLoud = m_lastLoudMs.load();
    if (blockLevel >= m_silenceLevel) {
        m_lastLoudMs.store(recorded);
    } else if (recorded - lastLoud > m_silenceMs) {
        const std::int64_t keepTo = FramesFromMs(lastLoud + kKeptSilenceMs, m_sink->sampleRate());
        if (keepTo < m_sink->position()) {
            m_sink->SeekTo(keepTo);
        }
        // Frames the file keeps must not come again as the next pre-roll: the ring keeps only
        // what was cut (this block joins it after this call).
        const auto cutFrames = static_cast<std::size_t>(std::max<std::int64_t>(
            FramesFromMs(recorded - lastLoud - kKeptSilenceMs, m_deviceRate.load()) - frames, 0));
        if (m_preRollFilled > cutFrames) {
            m_preRollStart = (m_preRollStart + m_preRollFilled - cutFrames) % m_preRollCapacity;
            m_preRollFilled = cutFrames;
        }
        std::copy_n(m_block.begin(), static_cast<std::ptrdiff_t>(frames) * m_deviceChannels.load(),
                    m_kept.begin());
        m_haveKept = true;
        m_state.store(static_cast<int>(CaptureState::WaitingForVoice));
        m_stateChanged.store(true);
    }
    if (m_maxTimeMs > 0 && recorded > m_maxTimeMs) {
        m_limitReached.store(true);
    }
}

void CaptureEngine::keepForPreRoll(int frames) {
    if (m_preRollCapacity == 0) {
        return;
    }
    const int channels = m_deviceChannels.load();
    const auto count = static_cast<std::size_t>(frames);
    // Only the newest frames of a block longer than the ring stay.
    const std::size_t skipped = count > m_preRollCapacity ? count - m_preRollCapacity : 0;
    for (std::size_t frame = skipped; frame < count; ++frame) {
        const std::size_t slot = (m_preRollStart + m_preRollFilled) % m_preRollCapacity;
        std::copy_n(m_block.begin() + static_cast<std::ptrdiff_t>(frame * channels), channels,
                    m_preRoll.begin() + static_cast<std::ptrdiff_t>(slot * channels));
        if (m_preRollFilled == m_preRollCapacity) {
            m_preRollStart = (m_preRollStart + 1) % m_preRollCapacity;
        } else {
            ++m_preRollFilled;
        }
    }
}

void CaptureEngine::writePreRoll() {
    const int channels = m_deviceChannels.load();
    while (m_preRollFilled > 0) {
        // Oldest first, in pieces that neither wrap around the ring nor exceed a block.
        const std::size_t piece = std::min({m_preRollFilled, m_preRollCapacity - m_preRollStart,
                                            static_cast<std::size_t>(kMaxBlockFrames)});
        m_sink->Write(m_preRoll.data() + static_cast<std::ptrdiff_t>(m_preRollStart * channels),
                      static_cast<int>(piece));
        m_preRollStart = (m_preRollStart + piece) % m_preRollCapacity;
        m_preRollFilled -= piece;
    }
}

// Writes what the device captured before it was reset. Loud drained frames count as loud, so
// that a recording without voice activation keeps them at the stop trim.
void CaptureEngine::drain() {
    while (m_device->PeekFilled().frames > 0) {
        const int frames = takeBlock();
        std::int8_t levels[LevelSet::kMaxChannels];
        const std::int8_t blockLevel =
            ComputeBlockLevels(m_block.data(), frames, m_deviceChannels.load(), levels);
        m_sink->Write(m_block.data(), frames);
        if (blockLevel >= m_silenceLevel) {
            m_lastLoudMs.store(sinkMs());
        }
    }
}

}  // namespace sonaro
