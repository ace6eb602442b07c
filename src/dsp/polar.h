#pragma once

#include <complex>

namespace zerin {

// Magnitude and phase of the `bins` bins of a spectrum (DC to Nyquist), and back. DC and
// Nyquist are real: their magnitude is their absolute value and their phase 0 or pi by their
// sign. Phases are in [-pi, pi]. Vectorised; accurate to a few ulp.
void toPolar(const std::complex<float>* spectrum, float* mag, float* phase, int bins) noexcept;
void fromPolar(const float* mag, const float* phase, std::complex<float>* spectrum,
               int bins) noexcept;

} // namespace zerin
