#include "audiounit/parameters.h"
#include "dsp/parameters.h"
#include "widgets/observable_parameter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zerin {
namespace {

using Event = AUParameterAutomationEventType;

// A host tree from the real table, with an automation observer standing in for the host's
// recorder, and the editor's mirror of it driven by a hand-pumped main queue.
struct Fixture {
    std::shared_ptr<AUParameterTree> tree = buildParameterTree(parameterTreeSpec());
    MainQueue queue{[] { return 0.0; }};
    std::vector<std::pair<float, Event>> sent; // what reached the host's recorder for dryWet
    AUParameterObserverToken recorder = tree->tokenByAddingParameterAutomationObserver(
        [this](AUParameterAddress address, AUValue value, Event type) {
            if (address == 2) sent.emplace_back(value, type);
        });
    ObservableAUParameterGroup mirror{*tree, tree, queue};

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
    const std::vector<std::pair<float, Event>> expected = {{60.0f, Event::touch},
                                                           {70.0f, Event::value},
                                                           {80.0f, Event::value},
                                                           {80.0f, Event::release}};
    EXPECT_EQ(f.sent, expected);
    EXPECT_EQ(f.mix().editingState(), EditingState::inactive);
    EXPECT_EQ(f.hostMix().value(), 80.0f);
    // An unmoved gesture sends the value once, as its release.
    f.sent.clear();
    f.mix().setEditing(true);
    f.mix().setEditing(false);
    EXPECT_EQ(f.sent, (std::vector<std::pair<float, Event>>{{80.0f, Event::release}}));
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
    const std::vector<std::pair<float, Event>> expected = {
        {60.0f, Event::touch}, {65.0f, Event::value}, {65.0f, Event::release}};
    EXPECT_EQ(f.sent, expected);
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

TEST(ObservableParameter, AParameterTheHostTreeLacksIsNullAndToldOnce) {
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
}

} // namespace
} // namespace zerin
