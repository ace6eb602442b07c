#include "dsp/polar.h"

#include "dsp/constants.h"
#include "dsp/vector_math.h"

#include <cmath>

namespace zerin {

void toPolar(const std::complex<float>* spectrum, float* mag, float* phase, int bins) noexcept {
    const float* s = reinterpret_cast<const float*>(spectrum);
    for (int k = 0; k < bins; ++k) {
        const float re = s[2 * k];
        const float im = s[2 * k + 1];
        mag[k] = std::sqrt(std::fma(re, re, im * im));
        phase[k] = vmath::atan2(im, re);
    }
    // DC and Nyquist are real: their sign is their phase.
    for (int k : {0, bins - 1}) {
        const float re = s[2 * k];
        mag[k] = std::fabs(re);
        phase[k] = re >= 0.0f ? 0.0f : kPi;
    }
}

void fromPolar(const float* mag, const float* phase, std::complex<float>* spectrum,
               int bins) noexcept {
    float* s = reinterpret_cast<float*>(spectrum);
    for (int k = 0; k < bins; ++k) {
        float sn, cs;
        vmath::sincos(phase[k], sn, cs);
        s[2 * k] = mag[k] * cs;
        s[2 * k + 1] = mag[k] * sn;
    }
}

} // namespace zerin
