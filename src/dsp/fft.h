#pragma once

#include <complex>

namespace zerin {

// The 2048-point real FFT of the frame engine, on FFTW single precision.
//
// forward: X[k] = sum_n x[n] e^(-2 pi i k n / 2048), k = 0..1024, unscaled: exactly the
//          spectrum the frame engine analyses (DC and Nyquist have zero imaginary parts).
// inverse: y[n] = Y[0] + Y[1024](-1)^n + 2 sum_{k=1..1023} Re(Y[k] e^(2 pi i k n / 2048)),
//          i.e. 2048 times the inverse DFT; the frame engine folds the 1/2048 into its window.
//          The imaginary parts of Y[0] and Y[1024] are ignored; Y is overwritten.
//
// Plans are shared by every kernel in the process and made once, under a lock, by the first
// `acquire` (never on the render thread). FFTW's new-array execute functions are thread-safe,
// so kernels on different threads may transform at the same time. Buffers must come from
// `allocate` so they have the alignment the plans were made for.
struct FFTSetup;

FFTSetup* acquireFFTSetup() noexcept; // null if FFTW cannot make the plans
void releaseFFTSetup(FFTSetup* setup) noexcept;

void forwardFFT(const FFTSetup* setup, float* frame, std::complex<float>* spectrum) noexcept;
void inverseFFT(const FFTSetup* setup, std::complex<float>* spectrum, float* frame) noexcept;

// SIMD-aligned zero-filled storage (fftwf_malloc); null on failure.
float* allocateFloats(std::size_t count) noexcept;
void freeFloats(void* p) noexcept;

} // namespace zerin
