#include "dsp/fft.h"

#include "dsp/constants.h"

#include <cstring>
#include <fftw3.h>
#include <mutex>

namespace zerin {

struct FFTSetup {
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
    int users = 0;
    int bins = 0; // size / 2 + 1
};

namespace {

// FFTW's planner is not thread-safe; kernels may be initialised on several host threads.
std::mutex& plannerMutex() {
    static std::mutex m;
    return m;
}

FFTSetup gSetups[kFFTSizeCount];

} // namespace

FFTSetup* acquireFFTSetup(int size) noexcept {
    int which = 0;
    while (which < kFFTSizeCount && kFFTSizes[which] != size)
        ++which;
    if (which == kFFTSizeCount) return nullptr;
    FFTSetup& gSetup = gSetups[which];
    std::lock_guard<std::mutex> lock(plannerMutex());
    if (gSetup.users == 0) {
        gSetup.bins = size / 2 + 1;
        float* frame = fftwf_alloc_real(size);
        fftwf_complex* spectrum = fftwf_alloc_complex(gSetup.bins);
        if (frame == nullptr || spectrum == nullptr) {
            fftwf_free(frame);
            fftwf_free(spectrum);
            return nullptr;
        }
        // FFTW_ESTIMATE picks the same algorithm on every run, so a render is bit-for-bit
        // repeatable across processes; measuring gains nothing measurable at this size.
        const unsigned flags = FFTW_ESTIMATE | FFTW_DESTROY_INPUT;
        gSetup.forward = fftwf_plan_dft_r2c_1d(size, frame, spectrum, flags);
        gSetup.inverse = fftwf_plan_dft_c2r_1d(size, spectrum, frame, flags);
        fftwf_free(frame);
        fftwf_free(spectrum);
        if (gSetup.forward == nullptr || gSetup.inverse == nullptr) {
            if (gSetup.forward != nullptr) fftwf_destroy_plan(gSetup.forward);
            if (gSetup.inverse != nullptr) fftwf_destroy_plan(gSetup.inverse);
            gSetup.forward = gSetup.inverse = nullptr;
            return nullptr;
        }
    }
    ++gSetup.users;
    return &gSetup;
}

void releaseFFTSetup(FFTSetup* setup) noexcept {
    if (setup == nullptr) return;
    std::lock_guard<std::mutex> lock(plannerMutex());
    if (--setup->users == 0) {
        fftwf_destroy_plan(setup->forward);
        fftwf_destroy_plan(setup->inverse);
        setup->forward = setup->inverse = nullptr;
    }
}

void forwardFFT(const FFTSetup* setup, float* frame, std::complex<float>* spectrum) noexcept {
    fftwf_execute_dft_r2c(setup->forward, frame, reinterpret_cast<fftwf_complex*>(spectrum));
}

void inverseFFT(const FFTSetup* setup, std::complex<float>* spectrum, float* frame) noexcept {
    spectrum[0].imag(0.0f);
    spectrum[setup->bins - 1].imag(0.0f);
    fftwf_execute_dft_c2r(setup->inverse, reinterpret_cast<fftwf_complex*>(spectrum), frame);
}

float* allocateFloats(std::size_t count) noexcept {
    auto* p = static_cast<float*>(fftwf_malloc(count * sizeof(float)));
    if (p != nullptr) std::memset(p, 0, count * sizeof(float));
    return p;
}

void freeFloats(void* p) noexcept {
    fftwf_free(p);
}

} // namespace zerin
