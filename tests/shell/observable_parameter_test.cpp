// The editor's mirror of the host parameter tree: gestures as the host hears them, host
// changes from any thread, a tree that goes first or lacks a parameter, and the readouts of
// the table's knobs.

#include "support/mirrored_host.h"
#include "widgets/rotary_knob_view.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zerin {
namespace {

using namespace zerin::test;

// The host's tree and its mirror, with dryWet at hand; the host's changes are not pumped.
struct Fixture : MirroredHost {
    ObservableAUParameter& mix() { return *mirror.parameter(parameter::dryWet); }
    AUParameter& hostMix() { return *tree->parameterWithIdentifier("dryWet"); }
    // A change made by the host (automation, another view): it has its own originator.
    void hostSets(float value) { hostMix().setValue(value, recorder, 0, Event::value); }
};

TEST(ObservableParameter, AGestureReachesTheHostAsTouchValuesReleaseOrAReleaseAlone) {
    Fixture f;
    f.mix().setEditing(true);
    f.mix().setValue(60.0f);
    f.mix().setValue(70.0f);
    f.mix().setValue(80.0f);
    f.mix().setEditing(false);
    EXPECT_EQ(f.sent, (std::vector<Sent>{{2, 60.0f, Event::touch},
                                         {2, 70.0f, Event::value},
                                         {2, 80.0f, Event::value},
                                         {2, 80.0f, Event::release}}));
    EXPECT_EQ(f.mix().editingState(), EditingState::inactive);
    EXPECT_EQ(f.hostMix().value(), 80.0f);
    // An unmoved gesture sends the value once, as its release.
    f.sent.clear();
    f.mix().setEditing(true);
    f.mix().setEditing(false);
    EXPECT_EQ(f.sent, (std::vector<Sent>{{2, 80.0f, Event::release}}));
}

TEST(ObservableParameter, HostChangesDuringAGestureAreDroppedAndNeverEchoed) {
    Fixture f;
    f.mix().setEditing(true);
    f.mix().setValue(60.0f);
    f.hostSets(10.0f); // the host automates the same parameter mid-drag
    f.queue.pump();
    EXPECT_EQ(f.mix().value(), 60.0f);
    f.mix().setValue(65.0f);
    f.mix().setEditing(false);
    f.queue.pump();
    EXPECT_EQ(f.mix().value(), 65.0f);
    // The gesture alone: the host's change (its own originator) is not bounced back.
    EXPECT_EQ(f.sent,
              (std::vector<Sent>{
                  {2, 60.0f, Event::touch}, {2, 65.0f, Event::value}, {2, 65.0f, Event::release}}));
}

TEST(ObservableParameter, IdleHostChangesArriveInOrderOnTheMainQueueAndSendNothing) {
    Fixture f;
    std::vector<float> seen;
    const Subscription watching =
        f.mix().observableValue().observe([&] { seen.push_back(f.mix().value()); });
    std::thread host([&] {
        for (int i = 0; i <= 100; ++i)
            f.hostSets(static_cast<float>(i));
    });
    host.join();
    EXPECT_TRUE(seen.empty()); // nothing before the main queue runs
    f.queue.pump();
    ASSERT_EQ(seen.size(), 101u);
    for (int i = 0; i <= 100; ++i)
        EXPECT_EQ(seen[i], static_cast<float>(i));
    EXPECT_TRUE(f.sent.empty()); // the mirror sent nothing back
    EXPECT_EQ(f.mix().editingState(), EditingState::inactive);
}

TEST(ObservableParameter, OutlivingTheHostTreeIgnoresWritesAndLeavesNoObservers) {
    MainQueue queue{[] { return 0.0; }};
    auto tree = buildParameterTree(parameterTreeSpec());
    auto mirror = std::make_unique<ObservableAUParameterGroup>(*tree, tree, queue);
    ObservableAUParameter& mode = *mirror->parameter(parameter::mode);
    tree->parameterWithIdentifier("mode")->setValue(2.0f);
    tree.reset(); // the host tree goes; a change was still queued
    queue.pump();
    mode.setValue(1.0f);
    EXPECT_EQ(mode.value(), 1.0f);
    EXPECT_EQ(mode.parameter(), nullptr);

    // A mirror that goes away takes its host observers with it.
    auto host = buildParameterTree(parameterTreeSpec());
    int heard = 0;
    host->tokenByAddingParameterObserver([&](AUParameterAddress, AUValue) { ++heard; });
    { ObservableAUParameterGroup gone(*host, host, queue); }
    host->parameterWithIdentifier("mode")->setValue(1.0f);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(queue.pump(), 0);
}

TEST(ObservableParameter, FindsEveryAddressAtTheHostsValueAndTellsAMissingOneOnce) {
    MainQueue queue{[] { return 0.0; }};
    auto empty = AUParameterTree::createTreeWithChildren({});
    ObservableAUParameterGroup none(*empty, empty, queue);
    std::vector<std::string> told;
    none.log = [&](const std::string& message) { told.push_back(message); };
    EXPECT_EQ(none.parameter(parameter::dryWet), nullptr);
    EXPECT_EQ(none.parameter(parameter::dryWet), nullptr);
    EXPECT_EQ(none.parameter(parameter::mode), nullptr);
    EXPECT_EQ(told.size(), 2u);

    // Every address of the table is found, below whichever group holds it.
    Fixture f;
    for (int a = 0; a < parameter::kCount; ++a) {
        const ObservableAUParameter* leaf = f.mirror.parameter(static_cast<AUParameterAddress>(a));
        ASSERT_NE(leaf, nullptr) << a;
        EXPECT_EQ(leaf->parameter()->address(), static_cast<AUParameterAddress>(a));
    }
    // A leaf starts at the host's value when it is made (a restored state's, say), and a
    // double click on its knob goes back there.
    f.hostMix().setValue(42.0f);
    ObservableAUParameterGroup restored(*f.tree, f.tree, f.queue);
    EXPECT_EQ(restored.parameter(parameter::dryWet)->value(), 42.0f);
    EXPECT_EQ(restored.parameter(parameter::dryWet)->defaultValue, 42.0f);
}

// The number a readout stands for: "+6.5" (dB), "30%", "1.5k" (Hz).
// Half of the last digit the readout shows, for the value it shows.
double readoutStep(float value, AudioUnitParameterUnit unit) {
    if (unit == kAudioUnitParameterUnit_Percent) return 0.5;
    if (unit == kAudioUnitParameterUnit_Hertz && value >= 1000.0f) return 50.0;
    return 0.05;
}

// Every knob's readout, read back, is the value it stands for, across the whole range and at
// both ends, and it never runs backwards while the value rises.
TEST(ObservableParameter, TheReadoutOfEveryKnobReadsBackAsTheValueAcrossItsRange) {
    Fixture f;
    for (const ParameterSpec* spec : allParameterSpecs()) {
        if (spec->valueStrings || spec->units == kAudioUnitParameterUnit_Boolean) continue;
        SCOPED_TRACE(spec->identifier);
        const ReadoutUnit unit = f.mirror.parameter(spec->address)->unit;
        constexpr int kSteps = 400;
        double previous = -std::numeric_limits<double>::infinity();
        for (int i = 0; i <= kSteps; ++i) {
            const float t = static_cast<float>(i) / kSteps;
            const float value = i == kSteps
                                    ? spec->maxValue
                                    : spec->minValue + t * (spec->maxValue - spec->minValue);
            const std::string shown = knobValueText(value, unit);
            const std::optional<float> typed = parseKnobValue(shown, unit);
            ASSERT_TRUE(typed) << "\"" << shown << "\" does not read back";
            const double read = *typed;
            EXPECT_NEAR(read, value, readoutStep(value, spec->units) + 1e-3) << shown;
            EXPECT_GE(read, previous) << shown;
            previous = read;
        }
        EXPECT_EQ(knobNormalizedValue(spec->minValue, spec->minValue, spec->maxValue), 0.0);
        EXPECT_EQ(knobNormalizedValue(spec->maxValue, spec->minValue, spec->maxValue), 1.0);
    }
    EXPECT_EQ(knobNormalizedValue(3.0f, 3.0f, 3.0f), 0.0); // an empty range
}

} // namespace
} // namespace zerin
