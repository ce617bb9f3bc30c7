#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_samples.h"
#include "audio/audio_sink.h"

namespace sonaro::test {

// Whole-file helpers for tests that write audio files and read them back.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Runs an outside program (argument vector, no shell) and gives what it wrote to its standard
// output; `ok` is false when it could not start or exited with a non-zero code.
std::vector<std::uint8_t> RunForOutput(const std::vector<std::string>& argv, bool& ok);

// Decodes an audio file to interleaved 16-bit samples with sox or ffmpeg, the independent readers
// the writers are checked against. Empty when the tool failed.
std::vector<std::int16_t> DecodeWithSox(const std::string& path);
std::vector<std::int16_t> DecodeWithFfmpeg(const std::string& path);
// The same at 32 bits per sample, for files of more than 16 bits.
std::vector<std::int32_t> DecodeWithSox32(const std::string& path);

// A test signal: a sine of `hertz` at `amplitude` (16-bit scale) per channel, channel c shifted
// by c quarter turns so that swapped or mixed channels show.
std::vector<std::int16_t> SineFrames(int frames, int channels, int sampleRate, double hertz,
                                     double amplitude);

// Internal samples over the whole range with arbitrary low bits, so that rounding and truncation
// faults show; the first two are the extremes. The same for the same seed.
std::vector<InternalSample> RandomSamples(std::size_t count, unsigned seed = 7);
// 16-bit samples as internal ones, and internal ones rounded to 16 bits.
std::vector<InternalSample> InternalOf(const std::vector<std::int16_t>& pcm);
std::vector<std::int16_t> Pcm16Of(const std::vector<InternalSample>& samples);
// Writes interleaved `samples` to `sink` in blocks of `block` frames.
void WriteAll(AudioSink& sink, const std::vector<InternalSample>& samples, int block = 1000);

// Signal-to-noise ratio in dB of `actual` against `expected` over their common length.
double SignalToNoiseDb(const std::vector<std::int16_t>& expected,
                       const std::vector<std::int16_t>& actual);

}  // namespace sonaro::test
