// The capture engine's block path: 16-bit blocks from a device converted to internal samples,
// measured, passed through the voice gate (which opens, trims silence and waits again) and
// written into a DiscardSink, on the engine's own capture thread. Reported in seconds of audio
// per second, with the heap allocations per block in the steady state.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "allocation_counter.h"
#include "audio/placeholder_sinks.h"
#include "record/capture_engine.h"
#include "threads/event.h"

namespace sonaro {
namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kLoudBlocks = 30;
constexpr int kQuietBlocks = 60;  // 6 s: longer than the 5 s silence limit
constexpr std::int64_t kBlocks = 3000;
constexpr std::int64_t kWarmUpBlocks = 100;

// Plays a loud and a quiet block in turns, as fast as the capture thread takes them.
class LoopDevice final : public WaveInDevice {
  public:
    LoopDevice(const std::vector<std::int16_t>& loud, const std::vector<std::int16_t>& quiet,
               Event& done, long& allocations)
        : m_loud(loud), m_quiet(quiet), m_done(done), m_allocations(allocations) {}

    WaveInOpenResult Open(int rate, int channels, int framesPerBuffer, int) override {
        m_frames = framesPerBuffer;
        return rate == kRate && channels == kChannels ? WaveInOpenResult::Opened
                                                      : WaveInOpenResult::FormatRefused;
    }
    bool Start() override {
        m_ready.set();
        return true;
    }
    CaptureBlock PeekFilled() override {
        if (m_index >= kBlocks) {
            return {};
        }
        const bool loud = m_index % (kLoudBlocks + kQuietBlocks) < kLoudBlocks;
        return {(loud ? m_loud : m_quiet).data(), m_frames};
    }
    void ReleaseFilled() override {
        ++m_index;
        if (m_index == kWarmUpBlocks) {
            m_allocations = -g_allocations.load();
        } else if (m_index == kBlocks) {
            m_allocations += g_allocations.load();
            m_ready.reset();
            m_done.set();
        }
    }
    WaitHandle readyHandle() const override { return m_ready.handle(); }
    bool hasFailed() const override { return false; }
    void Reset() override {}
    void Close() override {}
    std::string errorText() const override { return {}; }

  private:
    const std::vector<std::int16_t>& m_loud;
    const std::vector<std::int16_t>& m_quiet;
    Event& m_done;
    long& m_allocations;
    Event m_ready;
    int m_frames = 0;
    std::int64_t m_index = 0;
};

class LoopDeviceList final : public WaveInDeviceList {
  public:
    LoopDeviceList(Event& done, long& allocations) : m_done(done), m_allocations(allocations) {
        const int frames = CaptureEngine::FramesPerBuffer(kRate);
        for (int i = 0; i < frames; ++i) {
            const double value = std::sin(2 * std::numbers::pi * 1000 * i / kRate);
            for (int ch = 0; ch < kChannels; ++ch) {
                m_loud.push_back(static_cast<std::int16_t>(16000 * value));
                m_quiet.push_back(static_cast<std::int16_t>(40 * value));
            }
        }
    }

    std::vector<std::string> DeviceNames() override { return {"loop"}; }
    int PreferredDevice() override { return 0; }
    std::vector<std::string> SourceLines(int) override { return {}; }
    std::unique_ptr<WaveInDevice> CreateDevice(int) override {
        return std::make_unique<LoopDevice>(m_loud, m_quiet, m_done, m_allocations);
    }
    bool SetRecordSourceAndVolume(int, int, int) override { return true; }

  private:
    std::vector<std::int16_t> m_loud;
    std::vector<std::int16_t> m_quiet;
    Event& m_done;
    long& m_allocations;
};

// Wake-ups are posted nowhere: the user-interface side is not part of the block path.
class IdleDispatcher final : public UiDispatcher {
  public:
    void post(Task) override {}
};

void BM_CaptureBlockPath(benchmark::State& state) {
    Event done;
    long allocations = 0;
    long steadyAllocations = 0;
    LoopDeviceList devices(done, allocations);
    IdleDispatcher dispatcher;
    CaptureEngine engine(devices, dispatcher);
    for (auto _ : state) {
        done.reset();
        if (!engine.StartCapture(MakeSink<DiscardSink>(kRate, kChannels), 0, -18, 5000, 0)) {
            state.SkipWithError("capture did not start");
            break;
        }
        done.wait(-1);
        engine.StopCapture();
        steadyAllocations += allocations;
    }
    const double seconds = static_cast<double>(kBlocks) / 10.0 * state.iterations();
    state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["allocs_per_block"] =
        static_cast<double>(steadyAllocations) /
        static_cast<double>((kBlocks - kWarmUpBlocks) * state.iterations());
}
BENCHMARK(BM_CaptureBlockPath)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace sonaro

BENCHMARK_MAIN();
