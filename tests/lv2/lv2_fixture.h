#pragma once

// The DSP library as the tests drive it: one instance's audio, messages and replies.

#include "lv2_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zerin::test {

inline constexpr double kRate = 48000.0;

inline std::vector<std::vector<float>> noise(int channels, int frames, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    std::vector<std::vector<float>> signal(channels, std::vector<float>(frames));
    for (auto& channel : signal)
        for (float& x : channel)
            x = u(random);
    return signal;
}

struct Fixture : ::testing::Test {
    DspLibrary library;
    UridMapper mapper;
    const LV2_Feature* features[2] = {&mapper.feature, nullptr};
    lv2::Urids urids{};

    void SetUp() override { urids.map(&mapper.map); }

    const LV2_Descriptor* stereo() const { return library.descriptor(lv2::kStereoUri); }

    // `input` in blocks of `block` frames, calling `before` with each block's index first.
    static std::vector<std::vector<float>> render(
        Instance& instance, const std::vector<std::vector<float>>& input, int block,
        const std::function<void(int)>& before = [](int) {}) {
        const int frames = static_cast<int>(input[0].size());
        std::vector<std::vector<float>> output(instance.ports.channels, std::vector<float>(frames));
        for (int start = 0; start < frames; start += block) {
            const float* in[2] = {};
            float* out[2] = {};
            for (int c = 0; c < instance.ports.channels; ++c) {
                in[c] = input[c].data() + start;
                out[c] = output[c].data() + start;
            }
            before(start / block);
            instance.connectAudio(in, out);
            instance.run(static_cast<std::uint32_t>(std::min(block, frames - start)));
        }
        return output;
    }

    // One forgotten 64-frame block of silence with `control` (and `notify`, offered whole).
    void runOnce(Instance& instance, SequenceBuffer& control, SequenceBuffer* notify = nullptr) {
        if (notify != nullptr) notify->offerOutput();
        instance.connectAtoms(&control, notify);
        runSilence(instance);
        instance.connectAtoms(nullptr, nullptr);
        instance.descriptor->activate(instance.handle); // forget the 64 silent frames
    }

    // One 64-frame block of silence through whatever the atom ports are connected to.
    static void runSilence(Instance& instance) {
        float silence[64] = {};
        const float* in[2] = {silence, silence};
        float out0[64], out1[64];
        float* out[2] = {out0, out1};
        instance.connectAudio(in, out);
        instance.run(64);
    }

    void sendCurve(Instance& instance, const std::vector<float>& pairs, const char* name) {
        SequenceBuffer control;
        control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
            forgeCurveSet(f, urids, pairs);
            if (name != nullptr) lv2::writePresetName(f, urids, lv2::Direction::toDsp, name);
        });
        runOnce(instance, control);
    }

    struct Reply {
        std::vector<CurvePoint> curve;        // slot A's delay curve
        std::vector<CurvePoint> curves[2][2]; // every curve told, by slot and kind
        std::string name;
        std::optional<EditorView> view;
        int classifications = 0;
        int patchSets = 0; // messages a host would read as changes of declared properties
    };

    Reply readReplies(SequenceBuffer& notify) const {
        Reply reply;
        lv2::forEachEvent(notify.sequence(), [&](const LV2_Atom* atom, std::size_t bytes) {
            lv2::Message message;
            if (!lv2::readMessage(atom, bytes, urids, message)) return;
            if (message.type == urids.patchSet) ++reply.patchSets;
            CurvePoint points[kMaxCurvePoints];
            int count = 0;
            char name[kMaxPresetNameBytes + 1];
            CurveSlot slot{};
            CurveKind kind{};
            if (urids.curveOf(message.property, slot, kind) && message.value != nullptr &&
                (message.type == urids.notice || message.type == urids.patchSet)) {
                lv2::readCurve(message.value, urids, points, count, kind);
                reply.curves[static_cast<int>(slot)][static_cast<int>(kind)].assign(points,
                                                                                    points + count);
                if (slot == CurveSlot::a && kind == CurveKind::delay)
                    reply.curve.assign(points, points + count);
            } else if (const LV2_Atom* n = lv2::noticeValue(message, urids, urids.presetName)) {
                if (lv2::readPresetName(n, urids, name)) reply.name = name;
            } else if (const LV2_Atom* v = lv2::noticeValue(message, urids, urids.editorView)) {
                if (EditorView view; lv2::readEditorView(v, urids, view)) reply.view = view;
            } else if (lv2::noticeValue(message, urids, urids.classification) != nullptr) {
                ++reply.classifications;
            }
        });
        return reply;
    }

    // A control sequence holding one patch:Get (as an editor sends when it opens), or nothing.
    void writeGet(SequenceBuffer& control, bool get = true) {
        control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
            if (get) lv2::writePatchGet(f, urids);
        });
    }

    Reply ask(Instance& instance) {
        SequenceBuffer control;
        writeGet(control);
        SequenceBuffer notify;
        notify.offerOutput();
        instance.connectAtoms(&control, &notify);
        instance.run(0);
        instance.connectAtoms(nullptr, nullptr);
        return readReplies(notify);
    }

    // A state holding `values` as the curve's vector of `childType`, `shift` bytes off alignment.
    StateMap curveState(const std::vector<float>& values, LV2_URID childType = 0, int shift = 0) {
        std::vector<std::uint8_t> body(shift + sizeof(LV2_Atom_Vector_Body) +
                                       values.size() * sizeof(float));
        const LV2_Atom_Vector_Body header{sizeof(float), childType ? childType : urids.atomFloat};
        std::memcpy(body.data() + shift, &header, sizeof header);
        if (!values.empty())
            std::memcpy(body.data() + shift + sizeof header, values.data(),
                        values.size() * sizeof(float));
        StateMap state;
        storeInto(&state, urids.curve, body.data() + shift, body.size() - shift, urids.atomVector,
                  0);
        return state;
    }
};

} // namespace zerin::test
