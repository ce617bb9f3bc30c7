#pragma once

#include <cstddef>

struct fftwf_plan_s;

namespace sonaro {

// A real transform of a fixed size over FFTW in single precision: `size` real samples to
// size/2 + 1 complex bins and back, both unscaled. The plans and their aligned buffers are made
// when built, so transforming allocates nothing. Not copyable; one thread at a time.
class RealFft {
  public:
    // `size` must be even and at least 2. valid() is false when FFTW could not plan it.
    explicit RealFft(int size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    bool valid() const { return m_forward != nullptr && m_inverse != nullptr; }
    int size() const { return m_size; }
    // `size` real samples: the input of Forward and the output of Inverse.
    float* time() { return m_time; }
    // size/2 + 1 bins as interleaved real and imaginary parts: the output of Forward and the
    // input of Inverse.
    float* spectrum() { return m_spectrum; }

    // time → spectrum: X[k] = Σ x[n]·e^(−2πikn/N).
    void Forward();
    // spectrum → time: x[n] = Σ X[k]·e^(+2πikn/N) over all N bins, bins above N/2 taken as the
    // conjugates of their mirror images; the imaginary parts of bins 0 and N/2 are ignored.
    // Overwrites the spectrum.
    void Inverse();

  private:
    int m_size;
    float* m_time = nullptr;
    float* m_spectrum = nullptr;
    fftwf_plan_s* m_forward = nullptr;
    fftwf_plan_s* m_inverse = nullptr;
};

}  // namespace sonaro
