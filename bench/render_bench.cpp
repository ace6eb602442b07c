// zerin-render against the bare kernel on the same material: 60 s of stereo 48 kHz noise,
// 512-frame calls, in each mode. The difference is the cost of the host layer (audio unit,
// render block, pull, events) and of reading and writing the files.
//
//   build/bench/render_bench --benchmark_counters_tabular=true
//
// zerin-render runs with --tail 0 --keep-latency so both sides render the same frames.

#include "audiounit/parameters.h"
#include "audiounit/zerin_audio_unit.h"
#include "dsp/kernel.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace zerin;

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr std::int64_t kFrames = 60LL * kRate;
constexpr std::int64_t kRendered = kFrames + kLatencySamples;

struct Material {
    std::filesystem::path folder;
    std::vector<float> left, right; // kRendered frames: the noise, then the latency's silence
    Material() : left(kRendered, 0.0f), right(kRendered, 0.0f) {
        folder = std::filesystem::temp_directory_path() / "zerin-render-bench";
        std::filesystem::create_directories(folder);
        std::uint32_t s = 4242u;
        auto next = [&s] {
            s = s * 1664525u + 1013904223u;
            return static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
        };
        std::vector<float> interleaved(2 * kFrames);
        for (std::int64_t i = 0; i < kFrames; ++i) {
            left[i] = interleaved[2 * i] = next();
            right[i] = interleaved[2 * i + 1] = next();
        }
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(input().c_str(), SFM_WRITE, &info);
        sf_writef_float(f, interleaved.data(), kFrames);
        sf_close(f);
    }
    std::string input() const { return (folder / "noise.wav").string(); }
    std::string output() const { return (folder / "out.wav").string(); }
};

const Material& material() {
    static const Material m;
    return m;
}

void reportRealTime(benchmark::State& state) {
    state.counters["xRT"] = benchmark::Counter(static_cast<double>(kRendered) / kRate,
                                               benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Kernel(benchmark::State& state) {
    const Material& m = material();
    ZerinExtensionDSPKernel kernel;
    kernel.setParameter(parameter::mode, static_cast<float>(state.range(0)));
    kernel.initialize(2, kRate);
    std::vector<float> outL(kBlock), outR(kBlock);
    for (auto _ : state) {
        for (std::int64_t offset = 0; offset < kRendered; offset += kBlock) {
            const int frames = static_cast<int>(std::min<std::int64_t>(kBlock, kRendered - offset));
            const float* ins[2] = {m.left.data() + offset, m.right.data() + offset};
            float* outs[2] = {outL.data(), outR.data()};
            kernel.process(ins, 2, outs, 2, frames);
            benchmark::DoNotOptimize(outL.data());
        }
    }
    reportRealTime(state);
}
BENCHMARK(BM_Kernel)->ArgName("mode")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The audio unit as a host drives it, input pulled from memory: the host layer alone.
void BM_Unit(benchmark::State& state) {
    const Material& m = material();
    AUError error;
    const auto unit = ZerinExtensionAudioUnit::create(zerinComponentDescription(), 0, &error);
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));
    unit->parameterTree()->parameterWithIdentifier("mode")->setValue(
        static_cast<float>(state.range(0)));
    (*unit->inputBusses())[0].setFormat({double(kRate), 2}, &error);
    (*unit->outputBusses())[0].setFormat({double(kRate), 2}, &error);
    unit->setMaximumFramesToRender(kBlock);
    unit->allocateRenderResources(&error);
    const AUInternalRenderBlock render = unit->internalRenderBlock();
    std::vector<float> outL(kBlock), outR(kBlock);
    std::int64_t position = 0;
    const AURenderPullInputBlock pull = [&](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                            AUAudioFrameCount frames, std::int64_t,
                                            AudioBufferList* list) -> AUAudioUnitStatus {
        std::memcpy(list->mBuffers[0].mData, m.left.data() + position, frames * sizeof(float));
        std::memcpy(list->mBuffers[1].mData, m.right.data() + position, frames * sizeof(float));
        return 0;
    };
    for (auto _ : state) {
        for (position = 0; position < kRendered; position += kBlock) {
            const auto frames = static_cast<AUAudioFrameCount>(
                std::min<std::int64_t>(kBlock, kRendered - position));
            AudioBufferList out;
            out.mNumberBuffers = 2;
            out.mBuffers[0] = {1, frames * 4u, outL.data()};
            out.mBuffers[1] = {1, frames * 4u, outR.data()};
            AudioTimeStamp time;
            time.mSampleTime = static_cast<double>(position);
            AudioUnitRenderActionFlags flags = 0;
            render(&flags, &time, frames, 0, &out, nullptr, &pull);
            benchmark::DoNotOptimize(outL.data());
        }
    }
    reportRealTime(state);
}
BENCHMARK(BM_Unit)->ArgName("mode")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_ZerinRender(benchmark::State& state) {
    const Material& m = material();
    const std::string command = std::string("'") + ZERIN_RENDER_PATH +
                                "' -q --tail 0 --keep-latency" +
                                " --set mode=" + std::to_string(state.range(0)) + " -o '" +
                                m.output() + "' '" + m.input() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("zerin-render failed");
    }
    reportRealTime(state);
}
BENCHMARK(BM_ZerinRender)
    ->ArgName("mode")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
