// Proof that the render thread never touches the heap: every allocation function and
// operator new/delete are interposed (or, under a sanitizer, which owns the heap itself,
// hooked) and counted on the calling thread while a thread-local flag is up.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string_view>

namespace {

// Constant-initialised, so touching them from inside malloc needs no allocation.
thread_local bool tCounting = false;
thread_local std::size_t tAllocations = 0;
thread_local std::size_t tReleases = 0;

void noteAllocation() {
    if (tCounting) ++tAllocations;
}
void noteRelease(const volatile void* p) {
    if (tCounting && p != nullptr) ++tReleases;
}

// Keeps the compiler from proving an allocation unused and removing it.
void escape(void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            std::size_t),
                                                         void (*freeHook)(const volatile void*));

namespace {
const int gHooksInstalled = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, std::size_t) { noteAllocation(); }, noteRelease);
} // namespace

#else

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) noexcept {
    noteRelease(p);
    __libc_free(p);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    noteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}

// The library's other forms of new and delete (arrays, nothrow, sized) forward to these.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    void* p = nullptr;
    const auto a = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    if (posix_memalign(&p, a, size != 0 ? size : 1) != 0) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#endif

namespace zerin::test {
namespace {

struct HeapUse {
    std::size_t allocations = 0, releases = 0;
    bool operator==(const HeapUse&) const = default;
    friend void PrintTo(const HeapUse& u, std::ostream* os) {
        *os << u.allocations << " allocations, " << u.releases << " releases";
    }
};

// Runs fn with counting on and returns what it did to the heap.
template <typename Fn> HeapUse counted(Fn&& fn) {
    tAllocations = tReleases = 0;
    tCounting = true;
    fn();
    tCounting = false;
    return {tAllocations, tReleases};
}

TEST(AllocationCounter, SeesEveryKindOfAllocation) {
    const std::pair<const char*, void (*)()> kinds[] = {
        {"new[]",
         [] {
             int* p = new int[10];
             escape(p);
             delete[] p;
         }},
        {"aligned new",
         [] {
             auto* p = new (std::align_val_t{64}) float[16];
             escape(p);
             operator delete[](p, std::align_val_t{64});
         }},
        {"malloc",
         [] {
             void* p = std::malloc(24);
             escape(p);
             std::free(p);
         }},
        {"calloc",
         [] {
             void* p = std::calloc(3, 8);
             escape(p);
             std::free(p);
         }},
        {"posix_memalign",
         [] {
             void* p = nullptr;
             if (posix_memalign(&p, 32, 100) == 0) escape(p);
             std::free(p);
         }},
        {"aligned_alloc",
         [] {
             void* p = aligned_alloc(64, 128);
             escape(p);
             std::free(p);
         }},
        {"vector",
         [] {
             std::vector<float> v(100);
             escape(v.data());
         }},
    };
    for (const auto& [name, fn] : kinds) {
        const HeapUse use = counted(fn);
#if defined(__SANITIZE_THREAD__)
        // ThreadSanitizer's runtime (GCC 12) runs no hook for these two.
        if (std::string_view(name) == "posix_memalign" || std::string_view(name) == "aligned_alloc")
            continue;
#endif
        EXPECT_EQ(use.allocations, 1u) << name;
        EXPECT_EQ(use.releases, 1u) << name;
    }
}

TEST(RealTime, ProcessingNeverTouchesTheHeapInAnyMode) {
    constexpr int kMaxFrames = 1024;
    const Signal left = noise(kMaxFrames, 1), right = noise(kMaxFrames, 2);
    Signal outLeft(kMaxFrames), outRight(kMaxFrames), snapshot(kNumBins);
    const float* in[] = {left.data(), right.data()};
    float* out[] = {outLeft.data(), outRight.data()};
    const CurvePoint curves[2][3] = {{{30.0f, 100.0f}, {800.0f, 1900.0f}, {9000.0f, 40.0f}},
                                     {{20.0f, 500.0f}, {2000.0f, 20.0f}, {20000.0f, 1200.0f}}};
    CurvePoint readBack[kMaxCurvePoints];
    const int sizes[] = {1, 63, 512, 1024, 700, 511};

    ZerinExtensionDSPKernel idle; // not initialised: a plain copy
    EXPECT_EQ(counted([&] { idle.process(in, 2, out, 2, kMaxFrames); }), HeapUse{});

    for (float sensitivity : {0.0f, 50.0f}) {
        for (int mode = 0; mode < 4; ++mode) {
            ZerinExtensionDSPKernel k;
            setParams(k, {{kMode, static_cast<float>(mode)},
                          {kSensitivity, sensitivity},
                          {kTempoSync, 1.0f},
                          {kLFODepth, 60.0f},
                          {kScatterSpeed, 100.0f},
                          {kFeedback, 70.0f}});
            k.mHostTempo = 128.0;
            ASSERT_TRUE(k.initialize(2, 48000.0));
            HeapUse total;
            for (int call = 0; call < 400; ++call) {
                const HeapUse use = counted([&] {
                    k.process(in, 2, out, 2, sizes[call % 6]);
                    // Between calls, the other threads' side of the kernel.
                    if (call % 7 == 0) k.setSpectralCurve(curves[call % 2], 3);
                    if (call % 5 == 0) k.takeClassificationSnapshot(snapshot.data());
                    if (call % 11 == 0) k.getSpectralCurve(readBack);
                    if (call % 50 == 25) k.setParameter(kMode, static_cast<float>((mode + 1) % 4));
                    if (call % 50 == 30) k.setParameter(kMode, static_cast<float>(mode));
                    k.setParameter(kOutputGain, static_cast<float>(call % 13) - 6.0f);
                    k.mBypassed = call % 97 == 0;
                });
                total.allocations += use.allocations;
                total.releases += use.releases;
            }
            EXPECT_EQ(total, HeapUse{}) << "mode " << mode << ", sensitivity " << sensitivity;
        }
    }
}

} // namespace
} // namespace zerin::test
