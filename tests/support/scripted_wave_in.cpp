#include "support/scripted_wave_in.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

#include "threads/event.h"

namespace sonaro::test {

struct ScriptedWaveInList::Shared {
    std::mutex lock;
    std::vector<std::string> openLog;
    std::vector<std::string> mixerLog;
    int devicesCreated = 0;
    int framesPerBuffer = 0;
    Event consumed;
};

namespace {

class ScriptedWaveInDevice final : public WaveInDevice {
  public:
    ScriptedWaveInDevice(ScriptedInput input, ScriptedWaveInList::Overruns overruns,
                         std::shared_ptr<ScriptedWaveInList::Shared> shared)
        : m_input(std::move(input)), m_overruns(std::move(overruns)), m_shared(std::move(shared)) {}

    WaveInOpenResult Open(int rate, int channels, int framesPerBuffer, int bufferCount) override {
        const auto& accepted = m_input.acceptedFormats;
        WaveInOpenResult result = WaveInOpenResult::Opened;
        if (m_input.failOpen) {
            result = WaveInOpenResult::Failed;
        } else if (!accepted.empty() && std::find(accepted.begin(), accepted.end(),
                                                  std::pair{rate, channels}) == accepted.end()) {
            result = WaveInOpenResult::FormatRefused;
        }
        static constexpr const char* kNames[] = {"opened", "refused", "failed"};
        std::lock_guard lock(m_shared->lock);
        m_shared->openLog.push_back(std::to_string(rate) + "/" + std::to_string(channels) + " " +
                                    kNames[static_cast<int>(result)]);
        if (result == WaveInOpenResult::Opened) {
            m_rate = rate;
            m_channels = channels;
            m_framesPerBuffer = framesPerBuffer;
            m_bufferCount = bufferCount;
            m_shared->framesPerBuffer = framesPerBuffer;
        }
        return result;
    }

    bool Start() override {
        std::lock_guard lock(m_lock);
        m_running = true;
        fill();
        return true;
    }

    CaptureBlock PeekFilled() override {
        std::lock_guard lock(m_lock);
        if (m_filled.empty()) {
            return {};
        }
        const Block& block = m_filled.front();
        return {block.samples.data(), static_cast<int>(block.samples.size()) / m_channels,
                block.lostBefore};
    }

    void ReleaseFilled() override {
        std::lock_guard lock(m_lock);
        if (!m_filled.empty()) {
            m_filled.pop_front();
        }
        fill();
        if (m_delivered == m_input.frames && m_filled.empty()) {
            m_shared->consumed.set();
        }
    }

    WaitHandle readyHandle() const override { return m_ready.handle(); }

    bool hasFailed() const override {
        std::lock_guard lock(m_lock);
        return m_failed;
    }

    void Reset() override {
        std::lock_guard lock(m_lock);
        m_running = false;
        if (!m_partial.samples.empty()) {
            m_filled.push_back(std::move(m_partial));
            m_partial = {};
        }
        updateReady();
    }

    void Close() override {}
    std::string errorText() const override { return m_input.failOpen ? "scripted failure" : ""; }

  private:
    struct Block {
        std::vector<std::int16_t> samples;
        int lostBefore = 0;
    };

    Block makeBlock(int frames) {
        Block block;
        while (m_nextOverrun < m_overruns.size() &&
               m_overruns[m_nextOverrun].first <= m_delivered) {
            block.lostBefore += m_overruns[m_nextOverrun].second;
            m_skipped += m_overruns[m_nextOverrun].second;
            ++m_nextOverrun;
        }
        block.samples.resize(static_cast<std::size_t>(frames) * m_channels);
        for (int i = 0; i < frames; ++i) {
            for (int ch = 0; ch < m_channels; ++ch) {
                block.samples[static_cast<std::size_t>(i * m_channels + ch)] =
                    m_input.signal ? m_input.signal(m_delivered + m_skipped + i, ch, m_rate) : 0;
            }
        }
        m_delivered += frames;
        return block;
    }

    void fill() {
        while (m_running && static_cast<int>(m_filled.size()) < m_bufferCount &&
               m_delivered < m_input.frames && m_partial.samples.empty()) {
            const int frames = static_cast<int>(
                std::min<std::int64_t>(m_framesPerBuffer, m_input.frames - m_delivered));
            if (frames < m_framesPerBuffer) {
                m_partial = makeBlock(frames);
            } else {
                m_filled.push_back(makeBlock(frames));
            }
        }
        if (m_delivered == m_input.frames && m_input.end == ScriptEnd::Disappear) {
            m_failed = true;
        }
        updateReady();
    }

    void updateReady() {
        if (!m_filled.empty() || m_failed) {
            m_ready.set();
        } else {
            m_ready.reset();
        }
    }

    ScriptedInput m_input;
    ScriptedWaveInList::Overruns m_overruns;
    std::shared_ptr<ScriptedWaveInList::Shared> m_shared;
    mutable std::mutex m_lock;
    Event m_ready;
    int m_rate = 0;
    int m_channels = 1;
    int m_framesPerBuffer = 0;
    int m_bufferCount = 0;
    bool m_running = false;
    bool m_failed = false;
    std::int64_t m_delivered = 0;
    std::int64_t m_skipped = 0;
    std::size_t m_nextOverrun = 0;
    std::deque<Block> m_filled;
    Block m_partial;
};

}  // namespace

ScriptedWaveInList::ScriptedWaveInList(std::vector<ScriptedInput> inputs, int preferred)
    : m_inputs(std::move(inputs)),
      m_overruns(m_inputs.size()),
      m_preferred(preferred),
      m_shared(std::make_shared<Shared>()) {}

ScriptedWaveInList::~ScriptedWaveInList() = default;

std::vector<std::string> ScriptedWaveInList::DeviceNames() {
    std::vector<std::string> names;
    for (const ScriptedInput& input : m_inputs) {
        names.push_back(input.name);
    }
    return names;
}

std::vector<std::string> ScriptedWaveInList::SourceLines(int device) {
    if (device < 0 || device >= static_cast<int>(m_inputs.size())) {
        return {};
    }
    return m_inputs[static_cast<std::size_t>(device)].sourceLines;
}

std::unique_ptr<WaveInDevice> ScriptedWaveInList::CreateDevice(int device) {
    const int index = device < 0 ? m_preferred : device;
    {
        std::lock_guard lock(m_shared->lock);
        ++m_shared->devicesCreated;
    }
    if (index < 0 || index >= static_cast<int>(m_inputs.size())) {
        return nullptr;
    }
    return std::make_unique<ScriptedWaveInDevice>(m_inputs[static_cast<std::size_t>(index)],
                                                  m_overruns[static_cast<std::size_t>(index)],
                                                  m_shared);
}

void ScriptedWaveInList::SetOverruns(int device, Overruns overruns) {
    m_overruns.at(static_cast<std::size_t>(device)) = std::move(overruns);
}

bool ScriptedWaveInList::SetRecordSourceAndVolume(int device, int source, int volumeDb) {
    if (device < 0 || source < 0) {
        return true;
    }
    std::lock_guard lock(m_shared->lock);
    m_shared->mixerLog.push_back(std::to_string(device) + "/" + std::to_string(source) + "/" +
                                 std::to_string(volumeDb));
    return true;
}

bool ScriptedWaveInList::waitScriptConsumed(int ms) {
    return m_shared->consumed.wait(ms);
}

std::vector<std::string> ScriptedWaveInList::openLog() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->openLog;
}

std::vector<std::string> ScriptedWaveInList::mixerLog() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->mixerLog;
}

int ScriptedWaveInList::devicesCreated() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->devicesCreated;
}

int ScriptedWaveInList::lastFramesPerBuffer() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->framesPerBuffer;
}

std::function<std::int16_t(std::int64_t, int, int)> ToneBetween(double amplitude, int fromMs,
                                                                int toMs, double hz) {
    return [=](std::int64_t frame, int, int rate) -> std::int16_t {
        const std::int64_t ms = frame * 1000 / rate;
        if (ms < fromMs || ms >= toMs) {
            return 0;
        }
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(frame) / rate;
        return static_cast<std::int16_t>(std::lround(amplitude * 32767 * std::sin(phase)));
    };
}

}  // namespace sonaro::test
