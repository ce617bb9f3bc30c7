#pragma once

#include <limits>
#include <numbers>

// Branch-free single-precision phase arithmetic for the time-stretch filter's per-bin loop, which
// the compiler vectorises; the library's atan2, sin and cos are calls that it cannot vectorise
// and took most of the filter's time.
namespace sonaro::phase {

inline constexpr float kPi = std::numbers::pi_v<float>;
inline constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
inline constexpr float kTiny = std::numeric_limits<float>::min();

// The nearest whole number for |x| < 2^22, in the current (round-to-nearest) mode.
inline float RoundToInt(float x) {
    constexpr float kMagic = 12582912.0f;  // 1.5 × 2^23
    return (x + kMagic) - kMagic;
}

// x brought into [−π, π] by whole turns (exact to float rounding for |x| < 2^24).
inline float Wrap(float x) {
    return x - kTwoPi * RoundToInt(x * (1 / kTwoPi));
}

// atan2(y, x) within 1e-5 rad of the exact value (checked over the circle in the tests): a
// minimax polynomial for atan on [0, 1] and octant folding. atan2(0, 0) = 0.
inline float Atan2(float y, float x) {
    const float ax = x < 0 ? -x : x;
    const float ay = y < 0 ? -y : y;
    const float big = ax > ay ? ax : ay;
    const float small = ax > ay ? ay : ax;
    // Dividing unconditionally keeps the loop free of branches; 0 / FLT_MIN is 0.
    const float a = small / (big > kTiny ? big : kTiny);
    const float s = a * a;
    float r =
        a * (0.99997726f +
             s * (-0.33262347f +
                  s * (0.19354346f + s * (-0.11643287f + s * (0.05265332f + s * -0.01172120f)))));
    // Folding by selects of constants and signs only: a conditional subtraction is not
    // if-converted (it could raise a floating-point exception), which stops vectorisation.
    const bool steep = ay > ax;
    r = (steep ? kPi / 2 : 0.0f) + (steep ? -r : r);
    const bool left = x < 0;
    r = (left ? kPi : 0.0f) + (left ? -r : r);
    return y < 0 ? -r : r;
}

// sin and cos of x for |x| ≤ 1000 within 2e-6 of the exact values (checked in the tests):
// reduction to [−π/4, π/4] by quarter turns, odd and even polynomials there, and the quadrant's
// swap and signs.
inline void SinCos(float x, float& sine, float& cosine) {
    const float quarter = RoundToInt(x * (2 / kPi));
    // π/2 in three parts, each exact in its product with `quarter`, so the reduction keeps its
    // precision over many turns.
    const float r = ((x - quarter * 1.5703125f) - quarter * 4.837512969970703125e-4f) -
                    quarter * 7.54978995489188216e-8f;
    const float r2 = r * r;
    const float s =
        r + r * r2 * (-1.6666654611e-1f + r2 * (8.3321608736e-3f + r2 * -1.9515295891e-4f));
    const float c =
        1.0f + r2 * (-0.5f + r2 * (0.0416664891f + r2 * (-0.00138873165f + r2 * 2.44331568e-05f)));
    const int q = static_cast<int>(quarter) & 3;
    const float swappedSin = (q & 1) != 0 ? c : s;
    const float swappedCos = (q & 1) != 0 ? s : c;
    sine = (q & 2) != 0 ? -swappedSin : swappedSin;
    cosine = ((q + 1) & 2) != 0 ? -swappedCos : swappedCos;
}

}  // namespace sonaro::phase
