// run() never touches the heap: not for audio, control changes, curve and tempo messages,
// requests, replies or the classification it sends.

#include "lv2_host.h"
#include "support/heap_counter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zerin::test {
namespace {

TEST(LV2RealTime, RunNeverTouchesTheHeap) {
    DspLibrary library;
    UridMapper mapper;
    const LV2_Feature* features[] = {&mapper.feature, nullptr};
    lv2::Urids urids{};
    urids.map(&mapper.map);
    Instance instance(library.descriptor(lv2::kStereoUri), 48000.0, features);

    std::vector<float> left(1024, 0.25f), right(1024, -0.25f), outL(1024), outR(1024);
    const float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    instance.connectAudio(in, out);
    SequenceBuffer control;
    SequenceBuffer notify;
    const std::vector<float> curve = {50, 100, 300, 1500, 400, 200, 8000, 900};
    // A name to clean on the way in: stray bytes, and longer than any name kept.
    const std::string name = "Bl\xFFoom " + std::string(400, 'x');

    for (int cycle = 0; cycle < 200; ++cycle) {
        control.beginInput(&mapper.map);
        if (cycle % 10 == 0) {
            forgeCurveSet(&control.forge, urids, curve);
            lv2::writePresetName(&control.forge, urids, lv2::Direction::toDsp, name.c_str());
            lv2::writePatchGet(&control.forge, urids);
        }
        control.endInput();
        notify.offerOutput();
        instance.connectAtoms(&control, &notify);
        instance.controls[parameter::mode] = static_cast<float>(cycle / 50 % 3);
        instance.controls[parameter::feedback] = static_cast<float>(cycle % 100);
        instance.controls[parameter::fftSize] = static_cast<float>(cycle / 30 % 5);
        instance.controls[parameter::stereoSpread] = static_cast<float>(cycle % 101);
        instance.controls[parameter::pingPong] = static_cast<float>(cycle / 20 % 2);
        instance.controls[parameter::listen] = static_cast<float>(cycle / 15 % 3);
        instance.controls[parameter::sourceSensitivity] =
            static_cast<float>(cycle / 40 % 2) * 80.0f;
        instance.enabled = cycle % 37 == 0 ? 0.0f : 1.0f;
        const std::uint32_t frames = cycle % 7 == 0 ? 1u : 1024u;
        EXPECT_EQ(heapCalls([&] { instance.run(frames); }), 0) << "cycle " << cycle;
    }
}

} // namespace
} // namespace zerin::test
