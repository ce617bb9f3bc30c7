#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_samples.h"

namespace sonaro::test {

// A sine of `hz` at `amplitude` (fraction of 16-bit full scale) in internal samples, the same
// in every channel unless `channelSigns` flips some (+1 / -1 per channel, so bleed shows).
std::vector<InternalSample> MakeSine(double hz, double amplitude, int rate, int frames,
                                     int channels = 1, std::vector<int> channelSigns = {});

// The amplitude (fraction of full scale) of the component at `hz` in `samples` (one channel,
// internal scale), by a single-bin Fourier sum over a Hann window.
double ToneAmplitude(const std::vector<InternalSample>& samples, double hz, int rate);

// The frequency with the largest amplitude between `fromHz` and `toHz` in steps of `stepHz`.
double DominantFrequency(const std::vector<InternalSample>& samples, int rate, double fromHz,
                         double toHz, double stepHz);

double AmplitudeToDb(double amplitude);

}  // namespace sonaro::test
