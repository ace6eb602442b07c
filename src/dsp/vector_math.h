#pragma once

// Branch-free single-precision atan2, sine and cosine, written so that loops over arrays of
// bins vectorise (every select picks between values already computed). Accurate over the
// ranges the frame engine uses: atan2 within 3 ulp for arguments up to 1e38 in size (beyond,
// lo + hi overflows); sincos within 2 ulp for |x| <= pi, and within 1.2e-7 absolute up to
// |x| = 1e4 (the reduction's last part rounds, so results near zero lose relative accuracy
// further out). Polynomials are the classic minimax fits of the Cephes library.

#include <cmath>
#include <cstdint>

namespace zerin::vmath {

inline float atan2(float y, float x) noexcept {
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const bool steep = ay > ax;
    const float hi = steep ? ay : ax;
    const float lo = steep ? ax : ay;

    // atan(lo/hi) on [0, pi/4], reduced to [0, tan(pi/8)] around pi/4 when lo/hi is above
    // tan(pi/8): (t - 1)/(t + 1) with t = lo/hi is (lo - hi)/(lo + hi), so one division
    // serves both ranges.
    // The choice goes through a 0/1 factor rather than selects: GCC would otherwise push
    // the selects below the division and evaluate both divisions and both polynomials.
    const float upper = lo > 0.41421356f * hi ? 1.0f : 0.0f;
    const float num = lo - upper * hi;
    const float den = hi + upper * lo;
    const float q = num / den;
    const float r = den > 0.0f ? q : 0.0f; // atan2(0, 0) is 0 (or pi by x's sign below)
    const float base = upper * 0.78539819f;

    const float z = r * r;
    float p = 8.05374449538e-2f * z - 1.38776856032e-1f;
    p = p * z + 1.99777106478e-1f;
    p = p * z - 3.33329491539e-1f;
    float a = base + (p * z * r + r);

    const float mirrored = 1.5707964f - a;
    a = steep ? mirrored : a;
    const float flipped = 3.1415927f - a;
    a = std::signbit(x) ? flipped : a;
    return std::copysign(a, y);
}

// sin and cos of x together.
inline void sincos(float x, float& s, float& c) noexcept {
    // Quadrant by rounding x * 2/pi to nearest with the 1.5 * 2^23 trick (exact for
    // |x| < 2^21), then Cody-Waite reduction with pi/2 split into three parts.
    constexpr float kRound = 12582912.0f;
    const float jRaw = (x * 0.63661977f + kRound) - kRound;
    const float j = std::fabs(jRaw) < 1.0e6f ? jRaw : 0.0f; // keeps the int conversion defined
    const float r =
        ((x - j * 1.5703125f) - j * 4.837512969970703125e-4f) - j * 7.54978995489188216e-8f;
    const float z = r * r;

    float ps = -1.9515295891e-4f * z + 8.3321608736e-3f;
    ps = ps * z - 1.6666654611e-1f;
    const float sr = ps * z * r + r;

    float pc = 2.443315711809948e-5f * z - 1.388731625493765e-3f;
    pc = pc * z + 4.166664568298827e-2f;
    const float cr = pc * z * z - 0.5f * z + 1.0f;

    const std::int32_t q = static_cast<std::int32_t>(j);
    const bool swap = (q & 1) != 0;
    const float sv = swap ? cr : sr;
    const float cv = swap ? sr : cr;
    const float sNeg = -sv;
    const float cNeg = -cv;
    s = (q & 2) != 0 ? sNeg : sv;
    c = ((q + 1) & 2) != 0 ? cNeg : cv;
}

} // namespace zerin::vmath
