#include "support/signal.h"

#include <cmath>
#include <numbers>

namespace sonaro::test {

std::vector<InternalSample> MakeSine(double hz, double amplitude, int rate, int frames,
                                     int channels, std::vector<int> channelSigns) {
    channelSigns.resize(static_cast<std::size_t>(channels), 1);
    std::vector<InternalSample> out(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const double value = amplitude * 32767.0 * std::sin(2 * std::numbers::pi * hz * i / rate);
        for (int ch = 0; ch < channels; ++ch) {
            const auto pcm = static_cast<std::int16_t>(std::lround(value * channelSigns[ch]));
            out[static_cast<std::size_t>(i * channels + ch)] = ToInternalSample(pcm);
        }
    }
    return out;
}

double ToneAmplitude(const std::vector<InternalSample>& samples, double hz, int rate) {
    const std::size_t n = samples.size();
    double re = 0;
    double im = 0;
    double windowSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1));
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        const double x = samples[i] / static_cast<double>(kInternalFullScale) * window;
        re += x * std::cos(phase);
        im += x * std::sin(phase);
        windowSum += window;
    }
    return 2 * std::sqrt(re * re + im * im) / windowSum;
}

double DominantFrequency(const std::vector<InternalSample>& samples, int rate, double fromHz,
                         double toHz, double stepHz) {
    double best = fromHz;
    double bestAmplitude = -1;
    for (double hz = fromHz; hz <= toHz; hz += stepHz) {
        const double amplitude = ToneAmplitude(samples, hz, rate);
        if (amplitude > bestAmplitude) {
            bestAmplitude = amplitude;
            best = hz;
        }
    }
    return best;
}

double AmplitudeToDb(double amplitude) {
    return 20 * std::log10(amplitude);
}

}  // namespace sonaro::test
