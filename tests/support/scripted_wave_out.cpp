#include "support/scripted_wave_out.h"

#include <algorithm>

namespace sonaro::test {

void WaveOutScript::FailOpen(std::string error) {
    std::lock_guard lock(m_lock);
    m_openError = std::move(error);
}

void WaveOutScript::SetAutoPlay(bool autoPlay) {
    std::lock_guard lock(m_lock);
    m_autoPlay = autoPlay;
    if (autoPlay) {
        m_state.playedFrames = m_state.writtenFrames;
    }
    m_ready.set();
}

void WaveOutScript::Hear(std::int64_t frames) {
    std::lock_guard lock(m_lock);
    m_state.playedFrames = std::min(m_state.writtenFrames, m_state.playedFrames + frames);
    m_ready.set();
}

void WaveOutScript::Fail(std::string error) {
    std::lock_guard lock(m_lock);
    m_failure = std::move(error);
    m_ready.set();
}

WaveOutScript::Snapshot WaveOutScript::snapshot() const {
    std::lock_guard lock(m_lock);
    return m_state;
}

class ScriptedWaveOut final : public WaveOutDevice {
  public:
    ScriptedWaveOut(WaveOutScript& script, std::string name)
        : m_script(script), m_name(std::move(name)) {}

    bool Open(int rate, int channels, int queueFrames, bool paused) override {
        std::lock_guard lock(m_script.m_lock);
        if (!m_script.m_openError.empty()) {
            return false;
        }
        m_script.m_failure.clear();
        m_script.m_state = WaveOutScript::Snapshot{};
        auto& state = m_script.m_state;
        state.open = true;
        state.paused = paused;
        state.rate = rate;
        state.channels = channels;
        state.queueFrames = queueFrames;
        state.deviceName = m_name;
        return true;
    }
    int WritableFrames() override {
        std::lock_guard lock(m_script.m_lock);
        const auto& state = m_script.m_state;
        return state.queueFrames - static_cast<int>(state.writtenFrames - state.playedFrames);
    }
    bool Write(const std::int16_t* samples, int frames) override {
        std::lock_guard lock(m_script.m_lock);
        auto& state = m_script.m_state;
        if (!m_script.m_failure.empty() || !state.open) {
            return false;
        }
        state.samples.insert(state.samples.end(), samples, samples + frames * state.channels);
        state.writtenFrames += frames;
        if (m_script.m_autoPlay && !state.paused) {
            state.playedFrames = state.writtenFrames;
            m_script.m_ready.set();
        }
        return true;
    }
    std::int64_t PlayedFrames() override {
        std::lock_guard lock(m_script.m_lock);
        return m_script.m_state.playedFrames;
    }
    bool SetPaused(bool paused) override {
        std::lock_guard lock(m_script.m_lock);
        m_script.m_state.paused = paused;
        return m_script.m_failure.empty();
    }
    bool Flush() override {
        std::lock_guard lock(m_script.m_lock);
        auto& state = m_script.m_state;
        state.playedFrames = state.writtenFrames;
        ++state.flushes;
        return m_script.m_failure.empty();
    }
    void Trigger() override {}
    bool SetVolumeDb(int volumeDb) override {
        std::lock_guard lock(m_script.m_lock);
        m_script.m_state.volumeDb = volumeDb;
        return true;
    }
    WaitHandle readyHandle() const override { return m_script.m_ready.handle(); }
    void ClearReady() override { m_script.m_ready.reset(); }
    bool hasFailed() const override {
        std::lock_guard lock(m_script.m_lock);
        return !m_script.m_failure.empty();
    }
    void Close() override {
        std::lock_guard lock(m_script.m_lock);
        m_script.m_state.open = false;
    }
    std::string errorText() const override {
        std::lock_guard lock(m_script.m_lock);
        return m_script.m_openError.empty() ? m_script.m_failure : m_script.m_openError;
    }

  private:
    WaveOutScript& m_script;
    std::string m_name;
};

ScriptedWaveOutList::ScriptedWaveOutList(std::vector<std::string> names)
    : m_names(std::move(names)) {}

std::unique_ptr<WaveOutDevice> ScriptedWaveOutList::CreateDevice(const std::string& name) {
    return std::make_unique<ScriptedWaveOut>(m_script, name);
}

}  // namespace sonaro::test
