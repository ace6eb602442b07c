// The LV2 DSP library's run() as a host calls it (dlopened, ports connected, an empty control
// sequence and an offered notify buffer every cycle) against the bare kernel with the same
// parameters, on 10 s of stereo 48 kHz noise at 512 and 64 frames per call. The difference is
// the cost of the LV2 layer: control ports, messages, the notify sequence.
//
//   build-bench/bench/lv2_bench --benchmark_counters_tabular=true
//
// Each case reports its real-time factor (audio seconds per wall second) as "xRT".

#include "../tests/lv2/lv2_host.h"
#include "dsp/kernel.h"
#include "dsp/parameters.h"

#include "stereo_noise.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

using namespace zerin;

using bench::kRate;
using bench::reportRealTime;

const bench::StereoNoise& noise() {
    static const bench::StereoNoise n(31337u);
    return n;
}

void BM_Kernel(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    ZerinExtensionDSPKernel kernel;
    // The values the LV2 instance's control ports start at.
    for (int a = 0; a < parameter::kCount; ++a)
        kernel.setParameter(static_cast<std::uint64_t>(a), parameter::kRanges[a].defaultValue);
    kernel.initialize(2, kRate);
    kernel.snapSmoothedValues();
    std::vector<float> outL(block), outR(block);
    for (auto _ : state) {
        noise().forEachBlock(block, [&](const float* const* ins, int frames) {
            float* outs[2] = {outL.data(), outR.data()};
            kernel.process(ins, 2, outs, 2, frames);
            benchmark::DoNotOptimize(outL.data());
            benchmark::DoNotOptimize(outR.data());
        });
    }
    reportRealTime(state);
}
BENCHMARK(BM_Kernel)->ArgName("frames")->Arg(512)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_Lv2Run(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    test::DspLibrary library;
    test::UridMapper mapper;
    const LV2_Feature* features[2] = {&mapper.feature, nullptr};
    test::Instance instance(library.descriptor(lv2::kStereoUri), kRate, features);
    test::SequenceBuffer control, notify;
    control.beginInput(&mapper.map);
    control.endInput();
    instance.connectAtoms(&control, &notify);
    std::vector<float> outL(block), outR(block);
    for (auto _ : state) {
        noise().forEachBlock(block, [&](const float* const* ins, int frames) {
            float* outs[2] = {outL.data(), outR.data()};
            instance.connectAudio(ins, outs);
            notify.offerOutput();
            instance.run(static_cast<std::uint32_t>(frames));
            benchmark::DoNotOptimize(outL.data());
            benchmark::DoNotOptimize(outR.data());
        });
    }
    reportRealTime(state);
}
BENCHMARK(BM_Lv2Run)->ArgName("frames")->Arg(512)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
