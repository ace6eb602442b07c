// Proof that the render thread never touches the heap: the C allocation functions, which
// operator new and FFTW's allocator end in, are interposed (under a sanitizer, which owns the
// heap itself, hooked) and counted on the calling thread while a thread-local flag is up.

#include "dsp/fft.h"
#include "kernel_test_support.h"

#include <cerrno>

namespace {

// Constant-initialised, so touching them from inside malloc needs no allocation.
thread_local bool tCounting = false;
thread_local int tHeapCalls = 0; // allocations and releases

void noteAllocation(const volatile void* = nullptr, std::size_t = 0) {
    tHeapCalls += tCounting ? 1 : 0;
}
void noteRelease(const volatile void* p) {
    tHeapCalls += tCounting && p != nullptr ? 1 : 0;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*));
const int gHooks = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteRelease);
#else
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) noexcept {
    noteAllocation();
    return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) noexcept {
    noteAllocation();
    return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) noexcept {
    noteAllocation();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept {
    return memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept {
    *out = memalign(alignment, n);
    return *out != nullptr ? 0 : ENOMEM;
}
void free(void* p) noexcept {
    noteRelease(p);
    __libc_free(p);
}
}
#endif

namespace zerin::test {
namespace {

template <typename Fn> int heapCalls(Fn&& fn) {
    tHeapCalls = 0;
    tCounting = true;
    fn();
    tCounting = false;
    return tHeapCalls;
}

// Keeps an allocation from being optimised away.
template <typename T> T* escape(T* p) {
    asm volatile("" : : "r"(p) : "memory");
    return p;
}

TEST(AllocationCounter, SeesEveryKindOfAllocationAndRelease) {
    EXPECT_EQ(heapCalls([] { delete[] escape(new int[10]); }), 2);
    EXPECT_EQ(heapCalls([] { std::free(escape(std::calloc(3, 8))); }), 2);
    EXPECT_EQ(heapCalls([] { escape(std::vector<float>(100).data()); }), 2);
#if !defined(__SANITIZE_THREAD__) // whose runtime (GCC 12) hooks no aligned allocation
    EXPECT_EQ(heapCalls([] { freeFloats(escape(allocateFloats(100))); }), 2);
    struct alignas(64) Wide {
        float v[16];
    };
    EXPECT_EQ(heapCalls([] { delete escape(new Wide); }), 2);
#endif
}

TEST(RealTime, ProcessingNeverTouchesTheHeapInAnyMode) {
    const Signal left = noise(1024, 1), right = noise(1024, 2);
    Signal outLeft(1024), outRight(1024), snapshot(kNumBins);
    const float* in[] = {left.data(), right.data()};
    float* out[] = {outLeft.data(), outRight.data()};
    const CurvePoint curves[2][3] = {{{30.0f, 100.0f}, {800.0f, 1900.0f}, {9000.0f, 40.0f}},
                                     {{20.0f, 500.0f}, {2000.0f, 20.0f}, {20000.0f, 1200.0f}}};
    const int sizes[] = {1, 63, 512, 1024, 700, 511};

    Kernel idle; // not initialised: a plain copy
    EXPECT_EQ(heapCalls([&] { idle.process(in, 2, out, 2, 1024); }), 0);
    for (float sensitivity : {0.0f, 50.0f}) {
        for (float mode : {0.0f, 1.0f, 2.0f, 3.0f}) {
            auto k =
                makeKernel(2, 48000.0, {.tempoSync = 1, .mode = mode, .sensitivity = sensitivity});
            // Between calls, the other threads' side of the kernel.
            auto calls = [&] {
                for (int call = 0; call < 400; ++call) {
                    k->process(in, 2, out, 2, sizes[call % 6]);
                    if (call % 7 == 0) k->setSpectralCurve(curves[call % 2], 3);
                    if (call % 5 == 0) k->takeClassificationSnapshot(snapshot.data());
                    if (call % 50 == 25) k->setParameter(kMode, std::fmod(mode + 1.0f, 4.0f));
                    if (call % 50 == 30) k->setParameter(kMode, mode);
                    k->setParameter(kOutputGain, static_cast<float>(call % 13) - 6.0f);
                    k->mBypassed = call % 97 == 0;
                }
            };
            EXPECT_EQ(heapCalls(calls), 0) << "mode " << mode << ", sensitivity " << sensitivity;
        }
    }
}

} // namespace
} // namespace zerin::test
