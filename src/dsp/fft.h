#pragma once

#include <complex>

namespace zerin {

// The N-point real FFT of the frame engine, on FFTW single precision, for each N of kFFTSizes.
//
// forward: X[k] = sum_n x[n] e^(-2 pi i k n / N), k = 0..N/2, unscaled: exactly the
//          spectrum the frame engine analyses (DC and Nyquist have zero imaginary parts).
// inverse: y[n] = Y[0] + Y[N/2](-1)^n + 2 sum_{k=1..N/2-1} Re(Y[k] e^(2 pi i k n / N)),
//          i.e. N times the inverse DFT; the frame engine folds the 1/N into its window.
//          The imaginary parts of Y[0] and Y[N/2] are ignored; Y is overwritten.
//
// Plans of one size are shared by every kernel in the process and made once, under a lock, by
// the first `acquire` of that size (never on the render thread). FFTW's new-array execute functions
// are thread-safe, so kernels on different threads may transform at the same time. Buffers must
// come from `allocate` so they have the alignment the plans were made for.
struct FFTSetup;

// Null if `size` is not one of kFFTSizes or FFTW cannot make the plans.
FFTSetup* acquireFFTSetup(int size) noexcept;
void releaseFFTSetup(FFTSetup* setup) noexcept;

void forwardFFT(const FFTSetup* setup, float* frame, std::complex<float>* spectrum) noexcept;
void inverseFFT(const FFTSetup* setup, std::complex<float>* spectrum, float* frame) noexcept;

// SIMD-aligned zero-filled storage (fftwf_malloc); null on failure.
float* allocateFloats(std::size_t count) noexcept;
void freeFloats(void* p) noexcept;

} // namespace zerin
