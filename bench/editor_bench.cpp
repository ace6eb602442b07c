// One editor frame drawn offscreen at 900 x 600 against the floor: a bare linear gradient over
// the same image. The frame is what a window does every display refresh: advance the tree's
// animations, clear, lay out and paint, with the LFO at full depth, the particles running, a
// classification snapshot shown, and the orbs and knobs as they are.
//
//   build-bench/bench/editor_bench --benchmark_counters_tabular=true

#include "audiounit/parameters.h"
#include "audiounit/zerin_audio_unit.h"
#include "model/uuid.h"
#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/path.h"
#include "platform/ui/shapes.h"
#include "presets/preference_store.h"
#include "presets/user_presets.h"
#include "shell/audio_unit_view_controller.h"
#include "shell/main_view.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace zerin;

constexpr Size kEditorSize{900.0, 600.0};
constexpr double kFrameStep = 1.0 / 60.0;

void BM_BareGradient(benchmark::State& state) {
    OffscreenImage image(kEditorSize, static_cast<double>(state.range(0)));
    Path rect;
    addRect(rect, {0.0, 0.0, kEditorSize.width, kEditorSize.height});
    const LinearGradient gradient{{0.0, 0.0},
                                  {0.0, kEditorSize.height},
                                  {{0.0, {0.10, 0.11, 0.16, 1.0}}, {1.0, {0.04, 0.04, 0.07, 1.0}}}};
    for (auto _ : state) {
        image.draw([&](Graphics& g) { g.fill(rect, gradient); });
    }
}
BENCHMARK(BM_BareGradient)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Noise in [-0.5, 0.5], the same every run.
std::vector<float> noise(std::size_t frames, std::uint32_t seed) {
    std::vector<float> out(frames);
    for (float& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return out;
}

// The editor over a real unit, its clock driven by hand.
struct Editor {
    double now = 1000.0;
    MainQueue queue{[this] { return now; }};
    ViewHost host{queue, kEditorSize};
    AudioUnitViewController controller;
    std::shared_ptr<ZerinExtensionAudioUnit> unit;

    explicit Editor(PreferenceStore presetStore = PreferenceStore(), float lfoDepth = 100.0f)
        : controller(queue, std::move(presetStore)) {
        AUError error;
        unit = controller.createAudioUnit(zerinComponentDescription(), &error);
        if (!unit) {
            std::fprintf(stderr, "editor_bench: no unit: %s\n", error.message.c_str());
            std::exit(1);
        }
        auto& tree = *unit->parameterTree();
        // Set before the editor is built: the loop below never pumps the queue that would
        // bring a later change to the view.
        tree.parameterWithIdentifier("lfoDepth")->setValue(lfoDepth);
        tree.parameterWithIdentifier("sourceSensitivity")->setValue(100.0f);
        controller.viewDidLoad(host);
        queue.pump(); // the posted editor build
        host.advance(now);
        renderNoise();
        // One poll reads the snapshot; the queue is not pumped again, so it stays shown.
        now += ZerinExtensionMainView::kPollInterval;
        queue.pump();
        host.advance(now);
        if (!controller.mainView() || !controller.mainView()->session().classification()) {
            std::fprintf(stderr, "editor_bench: no classification snapshot\n");
            std::exit(1);
        }
    }

    // `blocks` blocks of 512 frames of noise through the unit (allocated at the first call).
    void renderNoise(std::size_t blocks = 8) {
        AUError error;
        if (!render) {
            (*unit->inputBusses())[0].setFormat({48000.0, 2}, &error);
            (*unit->outputBusses())[0].setFormat({48000.0, 2}, &error);
            unit->allocateRenderResources(&error);
            render = unit->internalRenderBlock();
        }
        constexpr std::uint32_t kBlock = 512;
        const std::vector<float> left = noise(blocks * kBlock, 7u),
                                 right = noise(blocks * kBlock, 9u);
        std::vector<float> outL(kBlock), outR(kBlock);
        std::size_t position = 0;
        const AURenderPullInputBlock pull = [&](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                                AUAudioFrameCount frames, std::int64_t,
                                                AudioBufferList* list) -> AUAudioUnitStatus {
            std::copy_n(left.data() + position, frames,
                        static_cast<float*>(list->mBuffers[0].mData));
            std::copy_n(right.data() + position, frames,
                        static_cast<float*>(list->mBuffers[1].mData));
            return 0;
        };
        for (position = 0; position < left.size(); position += kBlock) {
            AudioBufferList out;
            out.mNumberBuffers = 2;
            out.mBuffers[0] = {1, kBlock * 4u, outL.data()};
            out.mBuffers[1] = {1, kBlock * 4u, outR.data()};
            AudioTimeStamp time;
            time.mSampleTime = static_cast<double>(position);
            AudioUnitRenderActionFlags flags = 0;
            render(&flags, &time, kBlock, 0, &out, nullptr, &pull);
        }
    }
    AUInternalRenderBlock render;
};

// Out of line so a profiler can collect this alone (callgrind --toggle-collect='*drawFrame*').
[[gnu::noinline]] void drawFrame(Editor& editor, OffscreenImage& image) {
    editor.now += kFrameStep;
    editor.host.advance(editor.now);
    image.clear();
    image.draw(editor.host);
}

void BM_FullEditorFrame(benchmark::State& state) {
    Editor editor;
    OffscreenImage image(kEditorSize, static_cast<double>(state.range(0)));
    for (auto _ : state)
        drawFrame(editor, image);
}
BENCHMARK(BM_FullEditorFrame)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// What the window does at each display frame: advance, then draw only what changed. The
// canvas's particles change every frame, the orbs behind everything 10 times a second, and the
// curve as often as the LFO moves it by a wobble step: never at depth 0 (only the particles
// move), about 12 times a second at the default depth of 20 %, at nearly every frame at 100 %.
void BM_DamagedEditorFrame(benchmark::State& state) {
    Editor editor(PreferenceStore(), static_cast<float>(state.range(1)));
    OffscreenImage image(kEditorSize, static_cast<double>(state.range(0)));
    drawFrame(editor, image);
    editor.host.takeDamage();
    for (auto _ : state) {
        editor.now += kFrameStep;
        editor.host.advance(editor.now);
        image.drawDamage(editor.host);
    }
}
BENCHMARK(BM_DamagedEditorFrame)
    ->ArgNames({"scale", "lfoDepth"})
    ->ArgsProduct({{1, 2}, {0, 20, 100}})
    ->Unit(benchmark::kMicrosecond);

// The damaged frame when the analyser's levels are new at every one (the unit renders 1/30 s
// between frames, outside the timing): the bars of white noise that rose or fell drawn again,
// with what lies over them. Against BM_DamagedEditorFrame/scale/lfoDepth:20, what drawing the
// spectra costs a frame.
void BM_SpectrumEditorFrame(benchmark::State& state) {
    Editor editor(PreferenceStore(), 20.0f);
    OffscreenImage image(kEditorSize, static_cast<double>(state.range(0)));
    drawFrame(editor, image);
    editor.host.takeDamage();
    for (auto _ : state) {
        state.PauseTiming();
        editor.renderNoise(3); // 32 ms of audio: a new levels frame
        state.ResumeTiming();
        editor.now += kFrameStep;
        editor.host.advance(editor.now);
        image.drawDamage(editor.host);
    }
}
BENCHMARK(BM_SpectrumEditorFrame)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A preference store of its own in a scratch folder, holding `count` user presets.
struct ScratchPresetStore {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zerin-editor-bench-" + Uuid::random().text());

    explicit ScratchPresetStore(std::int64_t count) {
        std::filesystem::create_directory(folder);
        PreferenceStore store(folder);
        std::vector<Preset> stored;
        const StoreResult result = changeUserPresets(
            store,
            [count](std::vector<Preset>& list) {
                for (std::int64_t i = 1; i <= count; ++i)
                    list.push_back(presetOfDelayCurve("User preset " + std::to_string(i),
                                                      {{Uuid::random(), 200.0f, 40.0f},
                                                       {Uuid::random(), 2000.0f, 400.0f},
                                                       {Uuid::random(), 12000.0f, 900.0f}}));
            },
            stored);
        if (!result) {
            std::fprintf(stderr, "editor_bench: cannot store presets: %s\n",
                         result.message.c_str());
            std::exit(1);
        }
    }
    ~ScratchPresetStore() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchPresetStore(const ScratchPresetStore&) = delete;
    ScratchPresetStore& operator=(const ScratchPresetStore&) = delete;
};

// The full frame with many user presets stored, the preset browser closed or open over the
// editor: what the open browser adds to every frame while the host shows it.
void BM_EditorFrameWithUserPresets(benchmark::State& state) {
    const ScratchPresetStore presets(state.range(1));
    Editor editor(PreferenceStore(presets.folder));
    editor.controller.mainView()->setShowPresetBrowser(state.range(0) != 0);
    OffscreenImage image(kEditorSize, 1.0);
    drawFrame(editor, image); // the browser is built at its first layout
    for (auto _ : state)
        drawFrame(editor, image);
}
BENCHMARK(BM_EditorFrameWithUserPresets)
    ->ArgNames({"browser", "presets"})
    ->Args({0, 2000})
    ->Args({1, 6})
    ->Args({1, 2000})
    ->Args({1, 20000})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
