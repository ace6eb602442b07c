// Proof that the render thread never touches the heap: every heap call the kernel's
// processing makes on its thread is counted (support/heap_counter.h).

#include "dsp/fft.h"
#include "kernel_test_support.h"
#include "support/heap_counter.h"

namespace zerin::test {
namespace {

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
                    if (call % 50 == 25)
                        k->setParameter(parameter::mode, std::fmod(mode + 1.0f, 4.0f));
                    if (call % 50 == 30) k->setParameter(parameter::mode, mode);
                    k->setParameter(parameter::outputGain, static_cast<float>(call % 13) - 6.0f);
                    k->mBypassed = call % 97 == 0;
                }
            };
            EXPECT_EQ(heapCalls(calls), 0) << "mode " << mode << ", sensitivity " << sensitivity;
        }
    }
}

} // namespace
} // namespace zerin::test
