// The editor's session without a view: over a real unit, its parameter tree, a real link and
// a real preset store in a temporary folder. What the session holds, what reaches the unit and
// the store, and what it hears back.

#include "../audiounit/unit_host.h"
#include "../presets/temp_folder.h"
#include "dsp/factory_curves.h"
#include "presets/factory_presets.h"
#include "shell/editor_session.h"
#include "shell/in_process_unit_link.h"
#include "shell/late_link.h"
#include "shell/observable_parameter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>

namespace zerin {
namespace {

constexpr double kPoll = 0.1; // as the editor polls

CurvePoints factoryPoints(int number) {
    return {kFactoryCurves[number].points.begin(), kFactoryCurves[number].points.end()};
}

struct Editing {
    explicit Editing(std::shared_ptr<ZerinExtensionAudioUnit> audioUnit)
        : unit(std::move(audioUnit)), hostTree(unit->parameterTree()), link(unit) {}

    test::TempFolder folder;
    double now = 1000.0;
    MainQueue queue{[this] { return now; }};
    std::shared_ptr<ZerinExtensionAudioUnit> unit;
    std::shared_ptr<AUParameterTree> hostTree;
    ObservableAUParameterGroup tree{*hostTree, hostTree, queue};
    InProcessUnitLink link;
    std::optional<EditorSession> session;

    EditorSession& open(EditorUnitLink* used = nullptr) {
        session.reset();
        session.emplace(tree, used != nullptr ? used : &link, PreferenceStore(folder.path));
        session->start();
        return *session;
    }
    // Returns whether the bands shown changed.
    bool poll() {
        now += kPoll;
        const bool changed = session->poll(now);
        queue.pump();
        return changed;
    }
    // A drag of the edited curve's point `index` to `value`, as the canvas makes it: movements
    // with the point held, then the end of the press.
    void drag(std::size_t index, float value) {
        ControlCurve curve = session->editedCurve();
        for (int step = 1; step <= 4; ++step) {
            curve.at(index).value +=
                (value - curve.at(index).value) * static_cast<float>(step) / 4.0f;
            session->setEditedCurve(curve);
            session->curveEdited(true);
        }
        session->commitEdit();
    }
    CurvePoints unitCurve(CurveSlot slot = CurveSlot::a, CurveKind kind = CurveKind::delay) const {
        return unit->curve(slot, kind);
    }
    std::string shown() const {
        const PresetManager& presets = session->presetManager();
        return presets.currentPresetName() + (presets.isDirty() ? " *" : "");
    }
};

TEST(EditorSession, OpensOnTheUnitsCurveAndNameAndFollowsLaterChanges) {
    test::Host audio;
    CurvePoints edited = factoryPoints(2);
    edited[1].value = 1300.0f;
    nlohmann::json state = audio.unit->fullState();
    state.erase("curveSet"); // as an earlier build saved it
    state["formatVersion"] = 1;
    state["spectralCurve"] = nlohmann::json::array();
    for (const auto& [freq, delay] : edited)
        state["spectralCurve"].push_back({{"freq", freq}, {"delay", delay}});
    state["presetName"] = "Granular Haze";
    audio.unit->setFullState(&state);

    Editing e(audio.unit);
    EditorSession& session = e.open();
    e.poll();
    EXPECT_EQ(e.unitCurve(), edited);
    EXPECT_EQ(curvePointsOf(session.editedCurve()), edited);
    EXPECT_EQ(e.shown(), "Granular Haze *"); // one delay differs from the factory preset's
    EXPECT_EQ(session.history().undoDepth(), 0u);

    // A new unit holds the Init curve, and the session takes it.
    Editing fresh(test::makeUnit());
    fresh.open();
    EXPECT_EQ(fresh.unitCurve(), factoryPoints(0));
    EXPECT_EQ(fresh.shown(), "Init");
}

// The session never takes its defaults for the unit's nor sends them: it waits, and starts
// from what the unit says, however late, as if it had been there at opening.
TEST(EditorSession, WaitsForAUnitThatHasNotSaidWhatItHoldsAndStartsFromItsAnswer) {
    test::Host audio;
    const CurvePoints held = {{100.0f, 1500.0f}, {5000.0f, 1500.0f}};
    audio.unit->setCurve(CurveSlot::a, CurveKind::delay, held);
    audio.unit->setPresetName("Tape Haze");
    test::LateLink late(audio.unit);
    Editing e(audio.unit);
    EditorSession& session = e.open(&late);
    int reads = 0;
    session.onUnitStateRead = [&reads] { ++reads; };
    for (int i = 0; i < 20; ++i)
        e.poll();
    EXPECT_TRUE(session.waitingForUnit());
    EXPECT_TRUE(session.editedCurve().empty());
    EXPECT_FALSE(session.presetManager().isDirty());
    EXPECT_FALSE(session.undo());
    EXPECT_EQ(late.curvesSent, 0);
    EXPECT_EQ(reads, 0);

    late.answer();
    EXPECT_EQ(reads, 1);
    EXPECT_FALSE(session.waitingForUnit());
    EXPECT_EQ(curvePointsOf(session.editedCurve()), held);
    EXPECT_EQ(e.shown(), "Tape Haze");
    EXPECT_EQ(session.history().undoDepth(), 0u);
    EXPECT_EQ(late.curvesSent, 0);
    EXPECT_EQ(e.unitCurve(), held);
    // From now on the session is the user's: an edit reaches the unit.
    e.drag(0, 300.0f);
    EXPECT_EQ(late.curvesSent, 4);
    EXPECT_EQ(e.unitCurve().front().value, 300.0f);
}

// A drag is one step however many movements it reported; each movement reaches the unit.
TEST(EditorSession, UndoAndRedoOfAPresetLoadBringBackTheNameAndTheDirtyMarkerWithTheCurve) {
    test::Host audio;
    Editing e(audio.unit);
    EditorSession& session = e.open();
    e.drag(2, 700.0f);
    const CurvePoints edited = curvePointsOf(session.editedCurve());
    EXPECT_EQ(e.unitCurve(), edited);
    ASSERT_EQ(e.shown(), "Init *");
    EXPECT_EQ(session.history().undoDepth(), 1u);

    // Loading a preset is a step like any edit; undone, the edited Init comes back whole.
    session.loadPreset(factoryPresetList()[3]);
    EXPECT_EQ(e.unitCurve(), factoryPoints(3));
    EXPECT_EQ(e.shown(), "Rhythmic Scatter");
    session.undo();
    EXPECT_EQ(e.unitCurve(), edited);
    EXPECT_EQ(e.shown(), "Init *");
    EXPECT_EQ(audio.unit->presetName(), "Init");
    session.redo();
    EXPECT_EQ(e.unitCurve(), factoryPoints(3));
    EXPECT_EQ(e.shown(), "Rhythmic Scatter");
    EXPECT_EQ(audio.unit->presetName(), "Rhythmic Scatter");

    // Edits after the load keep its name through their own undo and redo.
    e.drag(1, 800.0f);
    EXPECT_EQ(e.shown(), "Rhythmic Scatter *");
    session.undo();
    EXPECT_EQ(e.shown(), "Rhythmic Scatter");
    session.undo();
    EXPECT_EQ(e.shown(), "Init *");
    session.undo();
    EXPECT_EQ(e.shown(), "Init");
    EXPECT_FALSE(session.undo());
    EXPECT_EQ(e.unitCurve(), factoryPoints(0));
    session.redo();
    session.redo();
    EXPECT_EQ(e.shown(), "Rhythmic Scatter");
    session.redo();
    EXPECT_EQ(e.shown(), "Rhythmic Scatter *");
    EXPECT_FALSE(session.redo());

    // A load that changes only the name is a step too.
    session.loadPreset(factoryPresetList()[0]);
    session.savePreset("Same As Init");
    session.loadPreset(factoryPresetList()[0]);
    EXPECT_EQ(e.shown(), "Init");
    session.undo();
    EXPECT_EQ(e.shown(), "Same As Init");
    EXPECT_EQ(e.unitCurve(), factoryPoints(0));

    // So is a preset the host picks while the editor is open, which shows clean at once.
    audio.unit->setCurrentPreset(audio.unit->factoryPresets()[1]);
    e.poll();
    EXPECT_EQ(curvePointsOf(session.editedCurve()), factoryPoints(1));
    EXPECT_EQ(e.shown(), "Shimmer Wash");
    session.undo();
    EXPECT_EQ(e.shown(), "Same As Init");
    EXPECT_EQ(audio.unit->presetName(), "Same As Init");
    EXPECT_EQ(e.unitCurve(), factoryPoints(0));
    // A new edit: what was undone cannot come back.
    e.drag(0, 900.0f);
    EXPECT_EQ(session.history().redoDepth(), 0u);
}

// A plug-in's DSP sends a frame every 0.11 to 0.13 s and the editor polls every 0.1 s, so
// many polls find nothing new: the bands stay until no frame came for a while. The levels
// are asked for only while the spectrum shows, and OFF is kept for the next editor.
TEST(EditorSession, FramesStayAcrossPollsThatFindNothingNewAndGoWhenStaleOrUnwanted) {
    test::Host audio(48000.0, 2, {{"sourceSensitivity", 50.0f}});
    Editing e(audio.unit);
    EditorSession& session = e.open();
    const auto shownFrame = [&session] {
        return session.classification() ? session.classification()->stamp.sequence : 0u;
    };
    e.poll();
    EXPECT_EQ(shownFrame(), 0u);
    audio.run(test::noise(2, 2048, 3));
    EXPECT_TRUE(e.poll());
    ASSERT_TRUE(session.classification());
    EXPECT_EQ(session.classification()->values.size(), 1025u);
    EXPECT_EQ(session.classification()->stamp.sampleRate, 48000.0);
    const std::uint64_t first = shownFrame();
    EXPECT_GT(first, 0u);
    EXPECT_FALSE(e.poll()); // nothing new rendered
    EXPECT_EQ(shownFrame(), first);

    audio.run(test::noise(2, 4096, 4));
    e.poll();
    const double arrived = e.now;
    const std::uint64_t second = shownFrame();
    EXPECT_GT(second, first);
    while (e.now + kPoll < arrived + FrameFeed::kStaleAfter - 1e-6) {
        EXPECT_FALSE(e.poll());
        ASSERT_EQ(shownFrame(), second) << e.now - arrived << " s after the frame";
    }
    e.poll();
    e.poll();
    EXPECT_EQ(shownFrame(), 0u);

    EXPECT_EQ(session.spectrumChoice(), SpectrumShown::both);
    EXPECT_FALSE(session.takeLevels(e.now)); // asks for them
    EXPECT_TRUE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::levels));
    audio.run(test::noise(2, 9600, 5));
    EXPECT_TRUE(session.takeLevels(e.now));
    EXPECT_TRUE(session.levels());
    session.chooseSpectrum(SpectrumShown::off);
    EXPECT_TRUE(session.takeLevels(e.now)); // dropped
    EXPECT_FALSE(session.levels());
    EXPECT_FALSE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::levels));
    EXPECT_EQ(e.open().spectrumChoice(), SpectrumShown::off);
    // A session that goes tells the unit it wants no more.
    e.poll();
    EXPECT_TRUE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::classification));
    e.session.reset();
    EXPECT_FALSE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::classification));
}

// The analyser's levels reach the editor's side of the link only while it wants them: a frame
// of four rows per bin, placed by the rate it was measured at.
TEST(InProcessUnitLink, HandsOutTheAnalysersLevelsOnlyWhileWanted) {
    test::Host audio(48000.0);
    InProcessUnitLink link(audio.unit);
    audio.run(test::noise(2, 24000, 4));
    EXPECT_FALSE(link.takeFrame(DisplayFrameKind::levels));
    link.setFrameWanted(DisplayFrameKind::levels, true);
    audio.run(test::noise(2, 48000, 5)); // run plays on from where the last one stopped
    const std::optional<DisplayFrame> frame = link.takeFrame(DisplayFrameKind::levels);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->kind, DisplayFrameKind::levels);
    EXPECT_EQ(frame->values.size(), SpectrumMeter::kRows * static_cast<std::size_t>(kNumBins));
    EXPECT_EQ(frame->stamp.sampleRate, 48000.0);
    ASSERT_TRUE(isPlaceable(*frame));
    EXPECT_EQ(binAt(*frame, 30000.0f), static_cast<std::size_t>(kNumBins - 1)); // in a row
    EXPECT_GT(frame->values[SpectrumMeter::input * kNumBins + 200], -60.0f);    // noise at 1 kHz
    EXPECT_FALSE(link.takeFrame(DisplayFrameKind::levels));                     // each once
    link.setFrameWanted(DisplayFrameKind::levels, false);
    audio.run(test::noise(2, 72000, 6));
    (void)link.takeFrame(
        DisplayFrameKind::levels); // one may have been published before the word arrived
    audio.run(test::noise(2, 96000, 7));
    EXPECT_FALSE(link.takeFrame(DisplayFrameKind::levels));
    EXPECT_FALSE(InProcessUnitLink(nullptr).takeFrame(DisplayFrameKind::levels));
}

TEST(CurveHistory, KeepsTheNewestStepsUpToItsDepthAndThePresetOfTheStepsThatChangedIt) {
    CurveHistory history(3);
    const auto curveOf = [](float delay) {
        return setOfDelayCurve({{Uuid::random(), 100.0f, delay}});
    };
    const CurveHistory::PresetMark init{"Init", curveOf(0.0f)};
    for (int i = 0; i < 5; ++i)
        history.record(curveOf(static_cast<float>(i)));
    EXPECT_EQ(history.undoDepth(), 3u);
    EXPECT_EQ(
        history.undo(curveOf(5.0f), init)->curve.at(CurveSlot::a, CurveKind::delay).front().value,
        4.0f);
    EXPECT_EQ(
        history.undo(curveOf(4.0f), init)->curve.at(CurveSlot::a, CurveKind::delay).front().value,
        3.0f);
    EXPECT_EQ(
        history.undo(curveOf(3.0f), init)->curve.at(CurveSlot::a, CurveKind::delay).front().value,
        2.0f);
    EXPECT_FALSE(history.undo(curveOf(2.0f), init));
    const auto redone = history.redo(curveOf(2.0f), init);
    EXPECT_EQ(redone->curve.at(CurveSlot::a, CurveKind::delay).front().value, 3.0f);
    EXPECT_FALSE(redone->preset);

    // A load: undone it gives back the preset before it, redone the one it loaded.
    history.record(curveOf(3.0f), init);
    const CurveHistory::PresetMark loaded{"Loaded", curveOf(9.0f)};
    const auto undone = history.undo(curveOf(9.0f), loaded);
    ASSERT_TRUE(undone->preset);
    EXPECT_EQ(undone->preset->name, "Init");
    const auto again = history.redo(curveOf(3.0f), init);
    ASSERT_TRUE(again->preset);
    EXPECT_EQ(again->preset->name, "Loaded");
    EXPECT_EQ(again->curve.at(CurveSlot::a, CurveKind::delay).front().value, 9.0f);
}

} // namespace
} // namespace zerin
