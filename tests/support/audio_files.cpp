#include "support/audio_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

#include "threads/child_process.h"

namespace sonaro::test {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> RunForOutput(const std::vector<std::string>& argv, bool& ok) {
    ChildProcess child;
    ok = child.start({argv, {}, false, true, {}});
    const std::string output = ok ? child.readAllOutput() : std::string();
    ok = ok && child.wait(60000) == 0;
    return {output.begin(), output.end()};
}

namespace {

// The little-endian samples an outside decoder writes to its standard output; empty when it
// failed.
template <typename Sample>
std::vector<Sample> decodedSamples(const std::vector<std::string>& argv) {
    static_assert(std::endian::native == std::endian::little);
    bool ok = false;
    const auto bytes = RunForOutput(argv, ok);
    std::vector<Sample> samples(ok ? bytes.size() / sizeof(Sample) : 0);
    if (!samples.empty()) {
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(Sample));
    }
    return samples;
}

}  // namespace

std::vector<std::int16_t> DecodeWithSox(const std::string& path) {
    return decodedSamples<std::int16_t>(
        {"sox", "-V1", path, "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", "-"});
}

std::vector<std::int32_t> DecodeWithSox32(const std::string& path) {
    return decodedSamples<std::int32_t>(
        {"sox", "-V1", path, "-t", "raw", "-e", "signed-integer", "-b", "32", "-L", "-"});
}

std::vector<std::int16_t> DecodeWithFfmpeg(const std::string& path) {
    return decodedSamples<std::int16_t>(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "s16le", "-"});
}

std::vector<std::int16_t> SineFrames(int frames, int channels, int sampleRate, double hertz,
                                     double amplitude) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double phase =
                2 * std::numbers::pi * hertz * i / sampleRate + c * std::numbers::pi / 2;
            samples[static_cast<std::size_t>(i) * channels + c] =
                static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
        }
    }
    return samples;
}

std::vector<InternalSample> RandomSamples(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<InternalSample> value(-524288, 524287);
    std::vector<InternalSample> samples(count);
    for (auto& s : samples) {
        s = value(generator);
    }
    if (count >= 2) {
        samples[0] = -524288;
        samples[1] = 524287;
    }
    return samples;
}

std::vector<InternalSample> InternalOf(const std::vector<std::int16_t>& pcm) {
    std::vector<InternalSample> samples(pcm.size());
    ConvertPcm16ToInternal(pcm.data(), samples.data(), static_cast<std::int64_t>(pcm.size()));
    return samples;
}

std::vector<std::int16_t> Pcm16Of(const std::vector<InternalSample>& samples) {
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    return pcm;
}

void WriteAll(AudioSink& sink, const std::vector<InternalSample>& samples, int block) {
    const int frames = static_cast<int>(samples.size()) / sink.channels();
    for (int done = 0; done < frames; done += block) {
        sink.Write(&samples[static_cast<std::size_t>(done) * sink.channels()],
                   std::min(block, frames - done));
    }
}

double SignalToNoiseDb(const std::vector<std::int16_t>& expected,
                       const std::vector<std::int16_t>& actual) {
    const std::size_t count = std::min(expected.size(), actual.size());
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < count; ++i) {
        signal += static_cast<double>(expected[i]) * expected[i];
        const double error = static_cast<double>(expected[i]) - actual[i];
        noise += error * error;
    }
    return noise == 0 ? 200.0 : 10 * std::log10(signal / noise);
}

}  // namespace sonaro::test
