// Kernel speed on 10 s of stereo 48 kHz noise in 512-frame calls, against the floor: the
// cheapest STFT pass-through each frame size allows (window, forward FFT, inverse FFT,
// window, overlap-add, a hop a quarter of the frame) on the same FFTW plans, with no polar
// conversion.
//
//   build/bench/kernel_bench --benchmark_counters_tabular=true
//
// Each case reports its real-time factor (audio seconds per wall second) as "xRT".

#include "dsp/fft.h"
#include "dsp/kernel.h"
#include "dsp/polar.h"
#include "stereo_noise.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace zerin;

using bench::kRate;
using bench::reportRealTime;
constexpr int kBlock = 512;

const bench::StereoNoise& noise() {
    static const bench::StereoNoise n(22222u);
    return n;
}

// One channel of the floor: ring in, frame every hop, ring out.
struct FloorChannel {
    explicit FloorChannel(int size) : in(allocateFloats(size)), out(allocateFloats(size)) {
        std::memset(in, 0, sizeof(float) * size);
        std::memset(out, 0, sizeof(float) * size);
    }
    ~FloorChannel() {
        freeFloats(in);
        freeFloats(out);
    }
    FloorChannel(const FloorChannel&) = delete;
    FloorChannel& operator=(const FloorChannel&) = delete;
    float* in;
    float* out;
    int pos = 0; // both rings advance together, one hop per call
};

// The floor at the frame size of index range(0) in kFFTSizes, in calls of one hop.
void BM_Floor(benchmark::State& state) {
    const FrameGeometry g = frameGeometryAt(static_cast<int>(state.range(0)));
    const int size = g.size, hop = g.hop, mask = size - 1;
    FFTSetup* fft = acquireFFTSetup(size);
    float* window = allocateFloats(size);
    float* synthesis = allocateFloats(size);
    float* work = allocateFloats(size);
    auto* spectrum = reinterpret_cast<std::complex<float>*>(allocateFloats(2 * g.stride));
    for (int n = 0; n < size; ++n) {
        window[n] =
            static_cast<float>(0.8165 * (1.0 - std::cos(2.0 * 3.141592653589793 * n / size)));
        synthesis[n] = window[n] * (1.0f / static_cast<float>(size)) * 0.6666667f;
    }
    FloorChannel left(size), right(size);
    FloorChannel* channels[2] = {&left, &right};
    std::vector<float> outL(hop), outR(hop);
    for (auto _ : state) {
        noise().forEachBlock(hop, [&](const float* const* ins, int) {
            float* outs[2] = {outL.data(), outR.data()};
            for (int c = 0; c < 2; ++c) {
                FloorChannel& ch = *channels[c];
                std::memcpy(ch.in + ch.pos, ins[c], sizeof(float) * hop);
                ch.pos = (ch.pos + hop) & mask;
                const int first = size - ch.pos;
                for (int i = 0; i < first; ++i)
                    work[i] = ch.in[ch.pos + i] * window[i];
                for (int i = first; i < size; ++i)
                    work[i] = ch.in[i - first] * window[i];
                forwardFFT(fft, work, spectrum);
                inverseFFT(fft, spectrum, work);
                // The output ring's read position trails the write position by one hop.
                const int rd = (ch.pos - hop) & mask;
                const int ofirst = size - rd;
                for (int i = 0; i < ofirst; ++i)
                    ch.out[rd + i] += work[i] * synthesis[i];
                for (int i = ofirst; i < size; ++i)
                    ch.out[i - ofirst] += work[i] * synthesis[i];
                std::memcpy(outs[c], ch.out + rd, sizeof(float) * hop);
                std::memset(ch.out + rd, 0, sizeof(float) * hop);
            }
            benchmark::DoNotOptimize(outL.data());
            benchmark::DoNotOptimize(outR.data());
        });
    }
    reportRealTime(state);
    freeFloats(window);
    freeFloats(synthesis);
    freeFloats(work);
    freeFloats(reinterpret_cast<float*>(spectrum));
    releaseFFTSetup(fft);
}
BENCHMARK(BM_Floor)->ArgName("size")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The noise through `kernel` in kBlock calls, every iteration, `beforeCall` before each call
// (automation, say); then the real-time factor.
template <typename BeforeCall>
void runNoise(benchmark::State& state, ZerinExtensionDSPKernel& kernel, BeforeCall beforeCall) {
    std::vector<float> outL(kBlock), outR(kBlock);
    for (auto _ : state) {
        noise().forEachBlock(kBlock, [&](const float* const* ins, int frames) {
            beforeCall();
            float* outs[2] = {outL.data(), outR.data()};
            kernel.process(ins, 2, outs, 2, frames);
            benchmark::DoNotOptimize(outL.data());
            benchmark::DoNotOptimize(outR.data());
        });
    }
    reportRealTime(state);
}

void BM_Process(benchmark::State& state) {
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::mode, static_cast<float>(state.range(0)));
    kernel.setParameter(parameter::sourceSensitivity, static_cast<float>(state.range(1)));
    kernel.setParameter(parameter::dryWet, 100.0f);
    kernel.setParameter(parameter::fftSize, static_cast<float>(state.range(3)));
    kernel.initialize(2, kRate);
    // The analyser's levels, measured as while an editor draws them. Taking them (and their
    // decibels) is the editor's work, on its own thread, and is left out.
    kernel.setFrameWanted(DisplayFrameKind::levels, state.range(2) != 0);
    runNoise(state, kernel, [] {});
}
// Arguments: mode, source sensitivity in percent, whether the analyser measures, the frame
// size's index in kFFTSizes (2: 2048).
BENCHMARK(BM_Process)
    ->ArgNames({"mode", "sens", "meter", "size"})
    ->ArgsProduct({{0, 1, 2}, {0, 50}, {0}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Process)
    ->ArgNames({"mode", "sens", "meter", "size"})
    ->ArgsProduct({{0, 1}, {0}, {1}, {2}})
    ->Unit(benchmark::kMillisecond);

// Delay mode, every bin reading near the far end of a range: a flat curve at 1900 ms in the
// 2 s range (0) or at 9500 ms in the 10 s range (1). Both read the same way; the longer one
// reaches further back through the history.
void BM_Range(benchmark::State& state) {
    const int range = static_cast<int>(state.range(0));
    const float ms = range == 0 ? 1900.0f : 9500.0f;
    const CurvePoint flat[] = {{20.0f, ms}, {20000.0f, ms}};
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::dryWet, 100.0f);
    kernel.setParameter(parameter::delayRange, static_cast<float>(range));
    kernel.setCurve(CurveSlot::a, CurveKind::delay, flat, 2);
    kernel.initialize(2, kRate);
    runNoise(state, kernel, [] {});
}
BENCHMARK(BM_Range)->ArgName("range")->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// The two sides apart and crossing: 0 neither, 1 spread 100 % and ping-pong on, 2 those
// and listening to what Source (at 50 %) spares; in delay (0) or scatter (2) mode, with
// feedback. Source is at 50 % in every case, so that 1 and 0 differ only by the two.
void BM_Stereo(benchmark::State& state) {
    const int features = static_cast<int>(state.range(0));
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::mode, static_cast<float>(state.range(1)));
    kernel.setParameter(parameter::dryWet, 100.0f);
    kernel.setParameter(parameter::feedback, 60.0f);
    kernel.setParameter(parameter::sourceSensitivity, 50.0f);
    kernel.setParameter(parameter::stereoSpread, features >= 1 ? 100.0f : 0.0f);
    kernel.setParameter(parameter::pingPong, features >= 1 ? 1.0f : 0.0f);
    kernel.setParameter(parameter::listen, features >= 2 ? 2.0f : 0.0f);
    kernel.initialize(2, kRate);
    runNoise(state, kernel, [] {});
}
BENCHMARK(BM_Stereo)
    ->ArgNames({"features", "mode"})
    ->ArgsProduct({{0, 1, 2}, {0, 2}})
    ->Unit(benchmark::kMillisecond);

// What one stereo instance holds, in MB (10^6 bytes) of heap in use after initialize at the
// rate given in Hz: the kernel and everything it allocates. Either range: the history is
// always as long as the longest range's.
void BM_Memory(benchmark::State& state) {
    double megabytes = 0.0;
    for (auto _ : state) {
        const struct mallinfo2 before = mallinfo2();
        auto* kernel = new ZerinExtensionDSPKernel;
        kernel->initialize(2, static_cast<double>(state.range(0)));
        const struct mallinfo2 after = mallinfo2();
        megabytes = static_cast<double>((after.uordblks + after.hblkhd) -
                                        (before.uordblks + before.hblkhd)) /
                    1e6;
        delete kernel;
    }
    state.counters["MB"] = megabytes;
}
BENCHMARK(BM_Memory)
    ->ArgName("rate")
    ->Arg(44100)
    ->Arg(48000)
    ->Arg(96000)
    ->Arg(192000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Delay mode with the freeze parameter: 0 held, classic; 1 held, smooth; 2 crossfading at every
// frame (a 1000 ms fade, turned over every second).
void BM_Hold(benchmark::State& state) {
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::dryWet, 100.0f);
    kernel.setParameter(parameter::freezeStyle, state.range(0) == 1 ? 1.0f : 0.0f);
    kernel.setParameter(parameter::freezeFade, 1000.0f);
    kernel.initialize(2, kRate);
    kernel.setParameter(parameter::freeze, 1.0f);
    const int turnEvery = static_cast<int>(kRate) / kBlock;
    int blocks = 0;
    bool on = true;
    runNoise(state, kernel, [&] {
        if (state.range(0) == 2 && ++blocks % turnEvery == 0)
            kernel.setParameter(parameter::freeze, (on = !on) ? 1.0f : 0.0f);
    });
}
BENCHMARK(BM_Hold)->ArgName("held")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Delay mode with the curve set at work: 0 everything at its defaults (as BM_Process/0/0),
// 1 per-band feedback, a B slot morphed halfway and the macros away from their defaults but
// still, 2 the same with morph and shift moving on every call, as host automation moves them.
void BM_CurveSet(benchmark::State& state) {
    const int features = static_cast<int>(state.range(0));
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::dryWet, 100.0f);
    kernel.setParameter(parameter::feedback, 60.0f);
    if (features > 0) {
        CurveSet set = kernel.latestCurveSet();
        const CurvePoint shares[] = {{100.0f, 20.0f}, {1000.0f, 100.0f}, {8000.0f, 40.0f}};
        const CurvePoint delays[] = {{60.0f, 900.0f}, {700.0f, 120.0f}, {9000.0f, 1500.0f}};
        fillCurve(set.at(CurveSlot::a, CurveKind::feedback), shares, 3);
        fillCurve(set.at(CurveSlot::b, CurveKind::delay), delays, 3);
        kernel.setCurveSet(set);
        kernel.setParameter(parameter::morph, 50.0f);
        kernel.setParameter(parameter::curveScale, 80.0f);
        kernel.setParameter(parameter::curveShift, 3.0f);
    }
    kernel.initialize(2, kRate);
    int call = 0;
    runNoise(state, kernel, [&] {
        if (features != 2) return;
        const float phase = static_cast<float>(call++ % 400) / 400.0f; // 4.3 s cycles
        const float tri = phase < 0.5f ? 2.0f * phase : 2.0f - 2.0f * phase;
        kernel.setParameter(parameter::morph, 100.0f * tri);
        kernel.setParameter(parameter::curveShift, -12.0f + 24.0f * tri);
    });
}
BENCHMARK(BM_CurveSet)->ArgNames({"features"})->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The polar round trip alone, per frame and channel: where the per-bin maths goes.
void BM_PolarRoundTrip(benchmark::State& state) {
    std::vector<std::complex<float>> spectrum(kNumBins);
    std::vector<float> mag(kNumBins), phase(kNumBins);
    std::uint32_t s = 1u;
    for (auto& bin : spectrum) {
        s = s * 1664525u + 1013904223u;
        bin = {static_cast<float>(s >> 8) / 8388608.0f - 1.0f,
               static_cast<float>((s * 7u) >> 8) / 8388608.0f - 1.0f};
    }
    for (auto _ : state) {
        toPolar(spectrum.data(), mag.data(), phase.data(), kNumBins);
        fromPolar(mag.data(), phase.data(), spectrum.data(), kNumBins);
        benchmark::DoNotOptimize(spectrum.data());
    }
}
BENCHMARK(BM_PolarRoundTrip);

// Freeze's phase advance and wrap over all bins, per frame and channel.
void BM_FreezePhaseAdvance(benchmark::State& state) {
    std::vector<float> accum(kNumBins, 0.5f);
    for (auto _ : state) {
        advanceFrozenPhases(accum.data(), kNumBins);
        benchmark::DoNotOptimize(accum.data());
    }
}
BENCHMARK(BM_FreezePhaseAdvance);

} // namespace

BENCHMARK_MAIN();
