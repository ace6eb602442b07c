// The curve set through the plug-in: each curve by message and by state, a state of an
// earlier build (slot A's delay curve alone), and the morph heard through its port.

#include "lv2_fixture.h"

#include <gtest/gtest.h>

namespace zerin::test {
namespace {

using Pairs = std::vector<float>;

struct CurveSetFixture : Fixture {
    // A patch:Set of one curve of the set.
    void sendCurve(Instance& instance, CurveSlot slot, CurveKind kind, const Pairs& pairs) {
        SequenceBuffer control;
        control.input(&mapper.map, [&](LV2_Atom_Forge* f) {
            forgeFloatVector(f, urids, urids.patchSet, urids.curveProperty(slot, kind), pairs);
        });
        runOnce(instance, control);
    }
    static Pairs pairsOf(const std::vector<CurvePoint>& points) {
        Pairs pairs;
        for (const CurvePoint& p : points)
            pairs.insert(pairs.end(), {p.freq, p.value});
        return pairs;
    }
    Pairs savedPairs(const StateMap& state, CurveSlot slot, CurveKind kind) const {
        const auto& bytes = state.at(urids.curveProperty(slot, kind)).bytes;
        Pairs pairs((bytes.size() - sizeof(LV2_Atom_Vector_Body)) / sizeof(float));
        std::memcpy(pairs.data(), bytes.data() + sizeof(LV2_Atom_Vector_Body),
                    pairs.size() * sizeof(float));
        return pairs;
    }
};

TEST_F(CurveSetFixture, EveryCurveGoesByMessageIsToldToTheUiAndRestoresIntoAnotherInstance) {
    Instance first(stereo(), kRate, features);
    sendCurve(first, CurveSlot::a, CurveKind::delay, {60, 900, 5000, 1200});
    // Feedback beyond 0..100 % is limited on the way in.
    sendCurve(first, CurveSlot::a, CurveKind::feedback, {200, 150, 3000, -20, 8000, 40});
    sendCurve(first, CurveSlot::b, CurveKind::delay, {100, 50});
    sendCurve(first, CurveSlot::b, CurveKind::feedback, {1000, 70});
    const Reply told = ask(first);
    EXPECT_EQ(pairsOf(told.curves[0][1]), (Pairs{200, 100, 3000, 0, 8000, 40}));
    EXPECT_EQ(pairsOf(told.curves[1][0]), (Pairs{100, 50}));
    EXPECT_EQ(pairsOf(told.curves[1][1]), (Pairs{1000, 70}));
    EXPECT_EQ(told.patchSets, 0);

    StateMap state;
    ASSERT_EQ(first.save(state), LV2_STATE_SUCCESS);
    EXPECT_EQ(savedPairs(state, CurveSlot::a, CurveKind::delay), (Pairs{60, 900, 5000, 1200}));
    EXPECT_EQ(savedPairs(state, CurveSlot::b, CurveKind::feedback), (Pairs{1000, 70}));
    Instance second(stereo(), kRate, features);
    ASSERT_EQ(second.restore(state), LV2_STATE_SUCCESS);
    // Halfway between the slots, through the appended morph port.
    for (Instance* i : {&first, &second})
        i->controls[parameter::morph] = 50.0f;
    const auto input = noise(2, 48000);
    EXPECT_EQ(render(second, input, 333), render(first, input, 512));
}

TEST_F(CurveSetFixture, AnEarlierBuildsStateIsItsOneCurveInBothSlotsWithFlatFeedback) {
    Instance instance(stereo(), kRate, features);
    sendCurve(instance, CurveSlot::b, CurveKind::delay, {100, 50});
    sendCurve(instance, CurveSlot::a, CurveKind::feedback, {1000, 10});
    StateMap old = curveState({60, 900, 400, 0, 5000, 1200});
    ASSERT_EQ(instance.restore(old), LV2_STATE_SUCCESS);
    StateMap saved;
    ASSERT_EQ(instance.save(saved), LV2_STATE_SUCCESS);
    for (const CurveSlot slot : {CurveSlot::a, CurveSlot::b}) {
        EXPECT_EQ(savedPairs(saved, slot, CurveKind::delay), (Pairs{60, 900, 400, 0, 5000, 1200}));
        EXPECT_EQ(savedPairs(saved, slot, CurveKind::feedback), (Pairs{1000, 100}));
    }
}

TEST_F(CurveSetFixture, ADamagedCurveKeyKeepsItsCurveAndTheRestIsTaken) {
    Instance instance(stereo(), kRate, features);
    sendCurve(instance, CurveSlot::b, CurveKind::feedback, {1000, 70});
    StateMap state;
    ASSERT_EQ(instance.save(state), LV2_STATE_SUCCESS);
    // B's feedback: a vector of ints; A's feedback: no usable pair; B's delay: a new curve.
    state[urids.curveProperty(CurveSlot::b, CurveKind::feedback)].bytes.assign(12, 0x7f);
    StateMap updated = curveState({300, 800});
    state[urids.curveProperty(CurveSlot::b, CurveKind::delay)] = updated.at(urids.curve);
    StateMap nothing = curveState({std::nanf(""), 5});
    state[urids.curveProperty(CurveSlot::a, CurveKind::feedback)] = nothing.at(urids.curve);
    ASSERT_EQ(instance.restore(state), LV2_STATE_SUCCESS);
    const Reply after = ask(instance);
    EXPECT_EQ(pairsOf(after.curves[1][0]), (Pairs{300, 800}));
    EXPECT_EQ(pairsOf(after.curves[1][1]), (Pairs{1000, 70}));
    EXPECT_EQ(pairsOf(after.curves[0][1]), (Pairs{1000, 100}));
}

} // namespace
} // namespace zerin::test
