// How faithfully the time-stretch filter, rubberband, soundstretch and ffmpeg's atempo change the
// tempo of the same spoken passage (espeak-ng, 22050 Hz mono) and of a 440 Hz tone, at speeds 0.5
// and 1.5:
// - log-spectral distance: the RMS difference in dB between the power spectra (1024-point Hann
//   frames, 256-frame hop in source time) of the original and of the output at the matching
//   time (output hop 256 / speed), over the frames within 40 dB of the loudest, after taking out
//   the overall gain (shown) and the best constant delay (shown, searched over ±46 ms);
// - the tone's frequency error and the output length error, in percent.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

#include "recordings/real_fft.h"
#include "recordings/time_stretch_filter.h"
#include "stretch_support.h"

namespace {

using Samples = std::vector<float>;

constexpr int kRate = 22050;
constexpr int kFrame = 1024;
constexpr int kBins = kFrame / 2 + 1;
constexpr int kHop = 256;
constexpr int kMaxLag = 1024;
constexpr int kLagStep = 16;
constexpr double kToneHertz = 440;

Samples oursAt(const std::string& path, double speed) {
    sonaro::SourceRef filter =
        sonaro::MakeTimeStretchFilter(sonaro::OpenRecordingFile(path), speed);
    if (filter->isUnusable()) {
        return {};
    }
    Samples out;
    std::vector<sonaro::InternalSample> block(64);
    while (filter->GetPosition() < filter->GetLength()) {
        filter->Read(block.data(), static_cast<int>(block.size()));
        for (const sonaro::InternalSample s : block) {
            out.push_back(static_cast<float>(s) / (1 << sonaro::kInternalShift));
        }
    }
    return out;
}

using Tool = std::function<Samples(const std::string& in, const std::string& out, double speed)>;

Tool peer(const std::function<std::vector<std::string>(const std::string&, const std::string&,
                                                       double)>& command) {
    return [command](const std::string& in, const std::string& out, double speed) {
        return sonaro::bench::RunChild(command(in, out, speed)) ? sonaro::bench::ReadMono(out)
                                                                : Samples{};
    };
}

// Power spectrum of the Hann-windowed frame centred on `centre` (zeros outside the signal).
void powerSpectrum(sonaro::RealFft& fft, const Samples& signal, long centre, double* power) {
    float* time = fft.time();
    for (int n = 0; n < kFrame; ++n) {
        const long at = centre - kFrame / 2 + n;
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / kFrame);
        time[n] = at >= 0 && at < static_cast<long>(signal.size())
                      ? static_cast<float>(window * signal[static_cast<std::size_t>(at)])
                      : 0.0f;
    }
    fft.Forward();
    const float* bins = fft.spectrum();
    for (int k = 0; k < kBins; ++k) {
        power[k] = static_cast<double>(bins[2 * k]) * bins[2 * k] +
                   static_cast<double>(bins[2 * k + 1]) * bins[2 * k + 1];
    }
}

struct Distance {
    double lsdDb = 0;
    double gainDb = 0;
    double lagMs = 0;
};

class SpectralReference {
  public:
    explicit SpectralReference(const Samples& original) : m_fft(kFrame) {
        const long frames = static_cast<long>(original.size()) / kHop;
        std::vector<double> power(kBins);
        std::vector<std::vector<double>> all;
        std::vector<double> energy;
        for (long j = 0; j < frames; ++j) {
            powerSpectrum(m_fft, original, j * kHop, power.data());
            all.push_back(power);
            energy.push_back(std::accumulate(power.begin(), power.end(), 0.0));
        }
        const double loudest = *std::max_element(energy.begin(), energy.end());
        for (std::size_t j = 0; j < all.size(); ++j) {
            if (energy[j] >= loudest * 1e-4) {
                m_frames.push_back(static_cast<long>(j));
                m_power.push_back(all[j]);
                m_energy += energy[j];
                m_peak = std::max(m_peak, *std::max_element(all[j].begin(), all[j].end()));
            }
        }
    }

    Distance compare(const Samples& output, double speed) {
        Distance best{1e9, 0, 0};
        for (int lag = -kMaxLag; lag <= kMaxLag; lag += kLagStep) {
            const Distance d = distance(output, speed, lag, 4);
            best = d.lsdDb < best.lsdDb ? d : best;
        }
        return distance(output, speed, static_cast<long>(best.lagMs * kRate / 1000), 1);
    }

  private:
    Distance distance(const Samples& output, double speed, long lag, std::size_t every) {
        std::vector<std::vector<double>> spectra;
        std::vector<double> power(kBins);
        double energy = 0;
        for (std::size_t i = 0; i < m_frames.size(); i += every) {
            const auto centre =
                static_cast<long>(std::lround(static_cast<double>(m_frames[i] * kHop) / speed)) +
                lag;
            powerSpectrum(m_fft, output, centre, power.data());
            spectra.push_back(power);
            energy += std::accumulate(power.begin(), power.end(), 0.0);
        }
        const double gain = energy / (m_energy / static_cast<double>(every));
        // Bins more than 60 dB below the original's strongest count as that floor.
        const double floor = m_peak * 1e-6;
        double sum = 0;
        for (std::size_t i = 0; i < spectra.size(); ++i) {
            double frame = 0;
            for (int k = 0; k < kBins; ++k) {
                const double a = 10 * std::log10(std::max(m_power[i * every][k], floor));
                const double b = 10 * std::log10(std::max(spectra[i][k] / gain, floor));
                frame += (a - b) * (a - b);
            }
            sum += std::sqrt(frame / kBins);
        }
        return {sum / static_cast<double>(spectra.size()), 10 * std::log10(gain),
                1000.0 * static_cast<double>(lag) / kRate};
    }

    sonaro::RealFft m_fft;
    std::vector<long> m_frames;
    std::vector<std::vector<double>> m_power;
    double m_energy = 0;
    double m_peak = 0;
};

// Mean frequency over the middle second from the first and last upward zero crossings.
double toneHertz(const Samples& out) {
    if (out.size() < 2 * kRate) {
        return 0;
    }
    const std::size_t from = out.size() / 2 - kRate / 2;
    double first = -1;
    double last = -1;
    int cycles = -1;
    for (std::size_t i = from + 1; i < from + kRate; ++i) {
        if (out[i - 1] < 0 && out[i] >= 0) {
            last = static_cast<double>(i - 1) + out[i - 1] / (out[i - 1] - out[i]);
            first = first < 0 ? last : first;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * kRate / (last - first) : 0;
}

}  // namespace

int main() {
    const sonaro::bench::TempFolder folder;
    const std::string speech = folder.file("speech.wav");
    const std::string tone = folder.file("tone.wav");
    const std::string out = folder.file("out.wav");
    if (!folder.ok() || !sonaro::bench::MakeSpeech(speech) ||
        !sonaro::bench::RunChild({"sox", "-n", "-r", "22050", "-b", "16", "-c", "1", tone, "synth",
                                  "4", "sine", "440", "vol", "0.5"})) {
        std::fprintf(stderr, "espeak-ng or sox failed\n");
        return 1;
    }
    const Samples original = sonaro::bench::ReadMono(speech);
    SpectralReference reference(original);
    std::printf("Speech: %.1f s at %d Hz\n", static_cast<double>(original.size()) / kRate, kRate);

    const std::vector<std::pair<const char*, Tool>> tools = {
        {"ours",
         [](const std::string& in, const std::string&, double speed) { return oursAt(in, speed); }},
        {"rubberband", peer(sonaro::bench::RubberbandArgs)},
        {"soundstretch", peer(sonaro::bench::SoundstretchArgs)},
        {"ffmpeg atempo", peer(sonaro::bench::FfmpegArgs)},
    };
    for (const double speed : {0.5, 1.5}) {
        std::printf("\nspeed %.1f %22s", speed, "");
        for (const auto& [name, tool] : tools) {
            std::printf(" %14s", name);
        }
        std::printf("\n");
        std::vector<Distance> distances;
        std::vector<double> lengthErrors;
        std::vector<double> toneErrors;
        for (const auto& [name, tool] : tools) {
            const Samples stretched = tool(speech, out, speed);
            distances.push_back(stretched.empty() ? Distance{-1, 0, 0}
                                                  : reference.compare(stretched, speed));
            lengthErrors.push_back(100 * (static_cast<double>(stretched.size()) * speed /
                                              static_cast<double>(original.size()) -
                                          1));
            toneErrors.push_back(100 * (toneHertz(tool(tone, out, speed)) / kToneHertz - 1));
        }
        const auto row = [&](const char* label, const std::function<double(std::size_t)>& value,
                             int decimals) {
            std::printf("%-32s", label);
            for (std::size_t i = 0; i < tools.size(); ++i) {
                std::printf(" %14.*f", decimals, value(i));
            }
            std::printf("\n");
        };
        row(
            "log-spectral distance (dB)", [&](std::size_t i) { return distances[i].lsdDb; }, 2);
        row(
            "gain (dB)", [&](std::size_t i) { return distances[i].gainDb; }, 2);
        row(
            "best delay (ms)", [&](std::size_t i) { return distances[i].lagMs; }, 1);
        row(
            "440 Hz tone frequency error (%)", [&](std::size_t i) { return toneErrors[i]; }, 3);
        row(
            "speech length error (%)", [&](std::size_t i) { return lengthErrors[i]; }, 2);
    }
    return 0;
}
