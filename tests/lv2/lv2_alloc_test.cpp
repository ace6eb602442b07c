// run() never touches the heap: not for audio, control changes, curve and tempo messages,
// requests, replies or the classification it sends.

#include "lv2_host.h"
#include "support/heap_counter.h"

#include <gtest/gtest.h>

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

    for (int cycle = 0; cycle < 200; ++cycle) {
        control.beginInput(&mapper.map);
        if (cycle % 10 == 0) {
            LV2_Atom_Forge_Frame frame;
            auto* f = &control.forge;
            lv2_atom_forge_frame_time(f, 0);
            lv2_atom_forge_object(f, &frame, 0, urids.patchSet);
            lv2_atom_forge_key(f, urids.patchProperty);
            lv2_atom_forge_urid(f, urids.curve);
            lv2_atom_forge_key(f, urids.patchValue);
            lv2_atom_forge_vector(f, sizeof(float), urids.atomFloat,
                                  static_cast<std::uint32_t>(curve.size()), curve.data());
            lv2_atom_forge_pop(f, &frame);
            lv2::writePresetNameSet(f, urids, "Bloom");
            lv2::writePatchGet(f, urids);
        }
        control.endInput();
        notify.offerOutput();
        instance.connectAtoms(&control, &notify);
        instance.controls[parameter::mode] = static_cast<float>(cycle / 50 % 3);
        instance.controls[parameter::feedback] = static_cast<float>(cycle % 100);
        instance.enabled = cycle % 37 == 0 ? 0.0f : 1.0f;
        const std::uint32_t frames = cycle % 7 == 0 ? 1u : 1024u;
        EXPECT_EQ(heapCalls([&] { instance.run(frames); }), 0) << "cycle " << cycle;
    }
}

} // namespace
} // namespace zerin::test
