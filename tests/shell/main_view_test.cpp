// The editor's root over a real unit, a real preset store in a temporary folder and a view
// host fed with synthetic input: what reaches the unit, the store and the screen.

#include "../audiounit/unit_host.h"
#include "../presets/temp_folder.h"
#include "dsp/factory_curves.h"
#include "editor/curve_geometry.h"
#include "editor/point_menu_view.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/tooltip.h"
#include "presets/factory_presets.h"
#include "presets/user_presets.h"
#include "shell/audio_unit_view_controller.h"
#include "shell/controls_strip_view.h"
#include "shell/curve_choice_view.h"
#include "shell/editor_window_size.h"
#include "shell/in_process_unit_link.h"
#include "shell/late_link.h"
#include "shell/main_view.h"
#include "shell/observable_parameter.h"
#include "shell/preset_browser_view.h"
#include "shell/preset_save_dialog.h"
#include "shell/top_bar_view.h"
#include "support/widget_host.h"
#include "widgets/controls.h"
#include "widgets/rotary_knob_view.h"
#include "widgets/segmented_control.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <thread>

namespace zerin {
namespace {

using test::frameInRoot;

using Event = AUParameterAutomationEventType;
using ModeEvents = std::vector<std::pair<AUValue, Event>>;

CurvePoints pairsOf(const std::vector<CurveControlPoint>& points) {
    return curvePointsOf(points);
}

CurvePoints factoryPairs(int number) {
    return {kFactoryCurves[number].points.begin(), kFactoryCurves[number].points.end()};
}

// Stores `count` user presets named "User 1", "User 2"... in one write.
void storeUserPresets(const std::filesystem::path& folder, int count) {
    PreferenceStore store(folder);
    std::vector<Preset> stored;
    ASSERT_TRUE(changeUserPresets(
        store,
        [count](std::vector<Preset>& list) {
            for (int i = 1; i <= count; ++i)
                list.push_back(presetOfDelayCurve(
                    "User " + std::to_string(i),
                    {{Uuid::random(), 200.0f, 50.0f}, {Uuid::random(), 4000.0f, 10.0f * i}}));
        },
        stored));
}

template <typename T> int countOf(const View& view) {
    int count = dynamic_cast<const T*>(&view) != nullptr ? 1 : 0;
    for (const auto& child : view.children())
        count += countOf<T>(*child);
    return count;
}

// Whether `view` lies wholly inside the browser's list as it shows.
bool showsInList(const PresetBrowserView& browser, const View* view) {
    if (view == nullptr) return false;
    const Rect list = frameInRoot(browser.scrollArea());
    const Rect row = frameInRoot(*view);
    return row.y >= list.y - 1e-9 && row.maxY() <= list.maxY() + 1e-9;
}

// An editor over `unit` (or over a bare parameter tree without one), driven by hand: the
// queue's clock and the frame clock move only when the test says so.
struct Editor {
    explicit Editor(std::shared_ptr<ZerinExtensionAudioUnit> audioUnit)
        : unit(std::move(audioUnit)),
          hostTree(unit ? unit->parameterTree() : buildParameterTree(parameterTreeSpec())),
          link(unit) {}

    test::TempFolder folder;
    double now = 1000.0;
    MainQueue queue{[this] { return now; }};
    std::shared_ptr<ZerinExtensionAudioUnit> unit;
    std::shared_ptr<AUParameterTree> hostTree;
    ObservableAUParameterGroup tree{*hostTree, hostTree, queue};
    InProcessUnitLink link;
    ModeEvents modeEvents; // what the host's recorder heard of the mode parameter
    AUParameterObserverToken recorder = hostTree->tokenByAddingParameterAutomationObserver(
        [this](AUParameterAddress address, AUValue value, Event type) {
            if (address == 8) modeEvents.emplace_back(value, type);
        });
    ViewHost host{queue, ZerinExtensionMainView::kSize};
    ZerinExtensionMainView* view = nullptr;

    EditorUnitLink* otherLink = nullptr; // instead of `link`, when set

    void open(bool withLink = true) {
        EditorUnitLink* used = otherLink != nullptr ? otherLink : &link;
        auto made = std::make_unique<ZerinExtensionMainView>(tree, withLink ? used : nullptr,
                                                             PreferenceStore(folder.path));
        view = made.get();
        host.setRoot(std::move(made));
        host.unhandledKey = [this](const KeyEvent& e) { return view->handleShortcut(e); };
        frame();
    }
    void frame() {
        now += 0.02;
        host.advance(now);
    }
    void tick() {
        now += ZerinExtensionMainView::kPollInterval;
        queue.pump();
        frame();
    }
    static Point centre(const View& v) { return test::centerInRoot(v); }
    void click(Point at, int presses = 1) {
        now += 1.0; // never a double click with the previous one
        for (int i = 0; i < presses; ++i) {
            host.pointerDown(at, {});
            host.pointerUp(at, {});
        }
        frame();
    }
    void click(const View& v) { click(centre(v)); }
    // The preset browser, opened by its button in the top bar.
    PresetBrowserView* openPresetBrowser() {
        click(view->topBar().presetButton());
        return view->presetBrowser();
    }
    Point onCanvas(float freq, float value, CurveAxis axis = {}) const {
        const Point o = view->canvas().originInRoot();
        const Point p = screenPoint(freq, value, view->canvas().size, axis);
        return {o.x + p.x, o.y + p.y};
    }
    void drag(Point from, Point to) {
        now += 1.0;
        host.pointerDown(from, {});
        for (double t : {0.25, 0.5, 0.75, 1.0})
            host.pointerMoved({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}, {});
        host.pointerUp(to, {});
        frame();
    }
    void key(char32_t letter, bool shift = false) {
        KeyEvent event{Key::character, "", letter, {}};
        event.modifiers.control = true;
        event.modifiers.shift = shift;
        host.keyDown(event);
        frame();
    }
    void type(const std::string& text) {
        for (char c : text)
            host.keyDown({Key::character, std::string(1, c), 0, {}});
        frame();
    }
    void press(Key key) {
        host.keyDown({key, "", 0, {}});
        frame();
    }
    // The user presets as the store holds them now.
    std::vector<Preset> stored() const {
        return readUserPresets(PreferenceStore(folder.path)).presets;
    }
    const PresetManager& presets() const { return view->session().presetManager(); }
    EditorSession& session() const { return view->session(); }
};

TEST(MainView, ModeSelectorFollowsTheParameterAndAClickSendsOneGesture) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    EXPECT_EQ(e.session().currentMode(), SpectralMode::delay);
    // A host change (automation, a restored state) shows in the selector and the canvas.
    e.hostTree->parameterWithIdentifier("mode")->setValue(2.0f);
    e.queue.pump();
    e.frame();
    EXPECT_EQ(e.session().currentMode(), SpectralMode::scatter);
    EXPECT_EQ(e.view->canvas().inputs.mode, SpectralMode::scatter);

    e.modeEvents.clear();
    e.click(e.view->topBar().segment(SpectralMode::freeze));
    EXPECT_EQ(e.modeEvents, (ModeEvents{{1.0f, Event::touch}, {1.0f, Event::release}}));
    EXPECT_EQ(e.session().currentMode(), SpectralMode::freeze);
    EXPECT_EQ(audio.unit->dspKernel().getParameter(8), 1.0f);
    // The selected segment again: one more complete gesture, nothing else.
    e.click(e.view->topBar().segment(SpectralMode::freeze));
    EXPECT_EQ(e.modeEvents.size(), 4u);
}

// While the unit has not said what it holds, the editor says it waits and takes no edit:
// the canvas, the presets and the copy menu stay shut until the answer.
TEST(MainView, WhileItWaitsForTheUnitNothingIsEditedAndTheAnswerOpensIt) {
    test::Host audio;
    test::LateLink late(audio.unit);
    Editor e(audio.unit);
    e.otherLink = &late;
    e.open();
    e.tick();
    e.click(e.onCanvas(1000.0f, 300.0f));
    EXPECT_TRUE(e.session().editedCurve().empty());
    EXPECT_EQ(e.openPresetBrowser(), nullptr);
    e.click(e.view->topBar().saveButton());
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    e.click(e.view->curveChoice().copyButton());
    EXPECT_FALSE(e.view->showCopyMenu());
    e.key(U'z');
    EXPECT_EQ(late.curvesSent, 0);

    late.answer();
    e.tick();
    e.click(e.onCanvas(1000.0f, 300.0f));
    EXPECT_EQ(e.session().editedCurve().size(), 6u);
    EXPECT_EQ(late.curvesSent, 1);
}

TEST(MainView, CanvasEditsAreStepsThatUndoAndRedoAndReachTheUnit) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const CurvePoints start = pairsOf(e.session().editedCurve());
    const auto unitMatches = [&] {
        return audio.unit->curve(CurveSlot::a, CurveKind::delay) ==
               pairsOf(e.session().editedCurve());
    };

    const Point from = e.onCanvas(1000.0f, 400.0f);
    e.drag(from, {from.x + 8.0, from.y + 60.0}); // four movements, one step
    EXPECT_EQ(e.session().history().undoDepth(), 1u);
    EXPECT_TRUE(e.presets().isDirty());
    EXPECT_TRUE(unitMatches());
    const CurvePoints dragged = pairsOf(e.session().editedCurve());

    e.click(e.onCanvas(3000.0f, 1500.0f)); // adds a point
    EXPECT_EQ(e.session().editedCurve().size(), 6u);
    e.click(e.onCanvas(20000.0f, 100.0f), 2); // a double click deletes the last point
    EXPECT_EQ(e.session().editedCurve().size(), 5u);
    EXPECT_EQ(e.session().history().undoDepth(), 3u);
    EXPECT_TRUE(unitMatches());

    e.key('z');
    EXPECT_EQ(e.session().editedCurve().size(), 6u);
    EXPECT_TRUE(unitMatches());
    e.key('z');
    EXPECT_EQ(pairsOf(e.session().editedCurve()), dragged);
    e.key('z');
    EXPECT_EQ(audio.unit->curve(CurveSlot::a, CurveKind::delay), start);
    EXPECT_FALSE(e.presets().isDirty());
    EXPECT_FALSE(e.view->undo());

    e.key('z', true);
    EXPECT_EQ(audio.unit->curve(CurveSlot::a, CurveKind::delay), dragged);
    EXPECT_TRUE(e.presets().isDirty());
    e.key('y');
    EXPECT_EQ(e.session().editedCurve().size(), 6u);
    EXPECT_EQ(e.session().history().redoDepth(), 1u);
    // A new edit: what was undone cannot come back.
    e.drag(e.onCanvas(200.0f, 600.0f), e.onCanvas(200.0f, 900.0f));
    EXPECT_EQ(e.session().history().redoDepth(), 0u);
    EXPECT_FALSE(e.view->redo());
}

// The row over the canvas chooses which of the four curves the canvas edits; each edit reaches
// the unit as that curve alone, and one history covers them all, copies between slots too.
TEST(MainView, EveryCurveOfTheSetIsEditedThroughTheChoiceRowUnderOneHistory) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const CurveSetPoints start = e.session().curveSet();
    const auto unitCurve = [&](CurveSlot slot, CurveKind kind) {
        return audio.unit->curve(slot, kind);
    };
    const CurvePoints flat{{1000.0f, 100.0f}};
    const CurvePoints delay = unitCurve(CurveSlot::a, CurveKind::delay);

    e.click(e.view->curveChoice().kindSegment(CurveKind::feedback));
    EXPECT_EQ(e.view->canvas().inputs.kind, CurveKind::feedback);
    EXPECT_EQ(pairsOf(e.session().editedCurve()), flat);
    EXPECT_EQ(pairsOf(e.view->canvas().inputs.otherCurve), delay); // drawn faintly
    e.click(e.onCanvas(300.0f, 40.0f, CurveKind::feedback));
    const CurvePoints shaped = pairsOf(e.session().editedCurve());
    ASSERT_EQ(shaped.size(), 2u);
    EXPECT_NEAR(shaped[0].value, 40.0f, 0.5f);
    EXPECT_EQ(unitCurve(CurveSlot::a, CurveKind::feedback), shaped);
    EXPECT_EQ(unitCurve(CurveSlot::a, CurveKind::delay), delay);
    EXPECT_TRUE(e.presets().isDirty());

    e.click(e.view->curveChoice().slotSegment(CurveSlot::b));
    EXPECT_EQ(pairsOf(e.session().editedCurve()), flat);
    const Point from = e.onCanvas(1000.0f, 100.0f, CurveKind::feedback);
    e.drag(from, e.onCanvas(1000.0f, 25.0f, CurveKind::feedback));
    EXPECT_NEAR(unitCurve(CurveSlot::b, CurveKind::feedback).at(0).value, 25.0f, 0.5f);
    EXPECT_EQ(unitCurve(CurveSlot::a, CurveKind::feedback), shaped);

    // Copy A→B from the menu: both of A's curves over B's, as one step.
    e.click(e.view->curveChoice().copyButton());
    ASSERT_TRUE(e.view->showCopyMenu());
    ASSERT_NE(e.view->copyMenuItem(CurveSlot::a), nullptr);
    e.click(*e.view->copyMenuItem(CurveSlot::a));
    EXPECT_FALSE(e.view->showCopyMenu());
    EXPECT_EQ(unitCurve(CurveSlot::b, CurveKind::feedback), shaped);
    EXPECT_EQ(unitCurve(CurveSlot::b, CurveKind::delay), delay);
    EXPECT_EQ(e.session().history().undoDepth(), 3u);

    e.key('z');
    EXPECT_NEAR(unitCurve(CurveSlot::b, CurveKind::feedback).at(0).value, 25.0f, 0.5f);
    e.key('z');
    e.key('z');
    EXPECT_EQ(unitCurve(CurveSlot::a, CurveKind::feedback), flat);
    EXPECT_EQ(unitCurve(CurveSlot::b, CurveKind::feedback), flat);
    EXPECT_TRUE(sameCurves(e.session().curveSet(), start));
    EXPECT_FALSE(e.presets().isDirty());

    // A saved preset keeps the whole set, and loads back whole.
    e.click(e.onCanvas(5000.0f, 10.0f, CurveKind::feedback)); // in slot B
    e.session().savePreset("Four Curves");
    const CurveSetPoints saved = e.session().curveSet();
    e.session().loadPreset(factoryPresetList()[0]);
    EXPECT_EQ(unitCurve(CurveSlot::b, CurveKind::feedback), flat);
    e.session().loadPreset(e.presets().userPresets().at(0));
    EXPECT_TRUE(sameCurves(e.session().curveSet(), saved));
    EXPECT_EQ(unitCurve(CurveSlot::b, CurveKind::feedback),
              pairsOf(saved.at(CurveSlot::b, CurveKind::feedback)));
    EXPECT_FALSE(e.presets().isDirty());
}

// A right click on a point opens its menu beside it, the frequency field ready to type in:
// what is typed there and in the value field sets the point (Return or Set), Delete deletes
// it, Escape cancels; each change is one step of the history and reaches the unit. While
// delays are synced the value field takes a note value, as the canvas names synced delays.
TEST(MainView, APointsMenuSetsTypedValuesAndDeletesAsUndoableSteps) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const auto rightClick = [&](Point at) {
        e.now += 1.0;
        e.host.pointerDown(at, {}, PointerButton::right);
        e.host.pointerUp(at, {}, PointerButton::right);
        e.frame();
        return e.view->pointMenu();
    };
    const auto unitMatches = [&] {
        return audio.unit->curve(CurveSlot::a, CurveKind::delay) ==
               pairsOf(e.session().editedCurve());
    };
    const ControlCurve start = e.session().editedCurve(); // 20, 200, 1000, 5000, 20000 Hz
    ASSERT_EQ(start.size(), 5u);
    const CurveControlPoint& kHz = start[2];
    EXPECT_EQ(rightClick({300.0, 300.0}), nullptr) << "off every point";
    PointMenuView* menu = rightClick(e.onCanvas(kHz.freq, kHz.value));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(e.host.context().focusedView(), &menu->frequencyField());
    const Rect box = frameInRoot(*menu);
    const Point clicked = e.onCanvas(kHz.freq, kHz.value);
    EXPECT_LT(std::hypot(box.x - clicked.x, box.y - clicked.y), 20.0)
        << "beside the point: " << box.x << ", " << box.y << " " << box.width << " x " << box.height
        << " for " << clicked.x << ", " << clicked.y;

    e.type("440 Hz");
    e.host.keyDown({Key::tab, "", 0, {}});
    e.type("1.5 s");
    e.host.keyDown({Key::enter, "", 0, {}});
    e.frame();
    EXPECT_EQ(e.view->pointMenu(), nullptr);
    const ControlCurve& set = e.session().editedCurve();
    ASSERT_EQ(set.size(), 5u);
    EXPECT_EQ(set[2].id, kHz.id);
    EXPECT_EQ(set[2].freq, 440.0f);
    EXPECT_EQ(set[2].value, 1500.0f);
    EXPECT_EQ(e.session().history().undoDepth(), 1u);
    EXPECT_TRUE(unitMatches());

    // Escape cancels what was typed; so does a click beside the menu.
    ASSERT_NE(rightClick(e.onCanvas(440.0f, 1500.0f)), nullptr);
    e.type("5000");
    e.host.keyDown({Key::escape, "", 0, {}});
    e.frame();
    EXPECT_EQ(e.view->pointMenu(), nullptr);
    ASSERT_NE(rightClick(e.onCanvas(440.0f, 1500.0f)), nullptr);
    e.type("5000");
    e.click({850.0, 120.0});
    EXPECT_EQ(e.view->pointMenu(), nullptr);
    EXPECT_EQ(e.session().editedCurve()[2].freq, 440.0f);
    EXPECT_EQ(e.session().history().undoDepth(), 1u);

    // What cannot be read is marked, and the menu stays.
    menu = rightClick(e.onCanvas(440.0f, 1500.0f));
    ASSERT_NE(menu, nullptr);
    e.click(menu->valueField());
    e.type("soon");
    e.host.keyDown({Key::enter, "", 0, {}});
    e.frame();
    ASSERT_EQ(e.view->pointMenu(), menu);
    EXPECT_TRUE(menu->valueMarked());
    EXPECT_FALSE(menu->frequencyMarked());
    EXPECT_EQ(e.session().history().undoDepth(), 1u);

    e.click(menu->deleteButton());
    EXPECT_EQ(e.view->pointMenu(), nullptr);
    EXPECT_EQ(e.session().editedCurve().size(), 4u);
    EXPECT_EQ(e.session().history().undoDepth(), 2u);
    EXPECT_TRUE(unitMatches());
    e.key('z');
    EXPECT_EQ(e.session().editedCurve().size(), 5u);
    e.key('z');
    EXPECT_EQ(pairsOf(e.session().editedCurve()), pairsOf(start));
    EXPECT_TRUE(unitMatches());

    // Synced to the host's tempo, the delay field takes a note value.
    e.hostTree->parameterWithIdentifier("delaySync")->setValue(1.0f);
    e.queue.pump();
    e.frame();
    const double tempo = e.view->canvas().inputs.syncTempo;
    ASSERT_GT(tempo, 0.0);
    ASSERT_NE(rightClick(e.onCanvas(kHz.freq, kHz.value)), nullptr);
    e.host.keyDown({Key::tab, "", 0, {}});
    e.type("1/8 dotted");
    e.click(e.view->pointMenu()->setButton());
    EXPECT_NEAR(e.session().editedCurve()[2].value, 0.75 * 60000.0 / tempo, 1e-3);
    EXPECT_EQ(e.session().editedCurve()[2].freq, 1000.0f);
}

// Delete and Backspace delete the point last pressed or dragged (never one of the last two),
// as one step of the history; not while a panel or a menu is open.
TEST(MainView, DeleteRemovesThePointLastTouched) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const auto press = [&](Key key) {
        e.host.keyDown({key, "", 0, {}});
        e.frame();
    };
    press(Key::deleteForward);
    EXPECT_EQ(e.session().editedCurve().size(), 5u) << "nothing touched yet";
    const Point from = e.onCanvas(1000.0f, 400.0f);
    e.drag(from, {from.x + 10.0, from.y + 30.0});
    press(Key::deleteForward);
    const ControlCurve& curve = e.session().editedCurve();
    ASSERT_EQ(curve.size(), 4u);
    EXPECT_TRUE(std::none_of(curve.begin(), curve.end(), [](const CurveControlPoint& p) {
        return p.freq > 900.0f && p.freq < 2000.0f;
    }));
    EXPECT_EQ(e.session().history().undoDepth(), 2u);
    press(Key::backspace);
    EXPECT_EQ(e.session().editedCurve().size(), 4u) << "the point touched is gone";

    e.click(e.onCanvas(200.0f, 600.0f));
    e.view->setShowPresetBrowser(true);
    e.frame();
    press(Key::backspace);
    EXPECT_EQ(e.session().editedCurve().size(), 4u) << "under the browser";
    e.view->setShowPresetBrowser(false);
    e.frame();
    press(Key::backspace);
    EXPECT_EQ(e.session().editedCurve().size(), 3u);
    e.click(e.onCanvas(20.0f, 200.0f));
    press(Key::backspace);
    e.click(e.onCanvas(20000.0f, 100.0f));
    press(Key::backspace);
    EXPECT_EQ(e.session().editedCurve().size(), 2u);
    e.key('z');
    e.key('z');
    EXPECT_EQ(e.session().editedCurve().size(), 4u);
}

// Ctrl and the wheel over the plot zoom the frequency axis about the pointer; the view is the
// session's, and the canvas draws, hits and drags on it: a point dragged under the zoom lands
// at the frequency under the pointer. A double click on the labels' row shows the whole axis.
TEST(MainView, TheFrequencyAxisZoomsAboutThePointerAndEditsFollowIt) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    int told = 0;
    const Subscription watch = e.session().frequencyViewModel().observe([&] { ++told; });
    const SpectralCanvasView& canvas = e.view->canvas();
    const Rect plot = plotRect(canvas.size);
    const Point over = e.onCanvas(1000.0f, 1200.0f);
    e.host.scrollWheel(-1.0, over);
    EXPECT_TRUE(e.session().frequencyView().isFull()) << "the wheel alone does not zoom";
    e.host.context().modifiers().update({.control = true});
    for (int i = 0; i < 8; ++i)
        e.host.scrollWheel(-1.0, over);
    e.host.context().modifiers().update({});
    e.frame();
    const FrequencyView view = e.session().frequencyView();
    EXPECT_EQ(told, 8);
    EXPECT_FALSE(view.isFull());
    EXPECT_EQ(canvas.inputs.frequencyView, view);
    const Point origin = canvas.originInRoot();

    // The 1 kHz point, where the zoomed axis puts it, dragged to where 1.1 kHz is.
    const auto onZoomed = [&](float freq, float value) {
        const Point p = screenPoint(freq, value, canvas.size, {}, view);
        return Point{origin.x + p.x, origin.y + p.y};
    };
    e.drag(onZoomed(1000.0f, 400.0f), onZoomed(1100.0f, 400.0f));
    const ControlCurve& curve = e.session().editedCurve();
    ASSERT_EQ(curve.size(), 5u);
    EXPECT_NEAR(curve[2].freq, 1100.0f, 0.5f);
    EXPECT_NEAR(curve[2].value, 400.0f, 3.0f);
    EXPECT_TRUE(audio.unit->curve(CurveSlot::a, CurveKind::delay) == pairsOf(curve));

    // A double click on the row of the frequency labels: 20 Hz to 20 kHz again.
    const Point row{origin.x + plot.x + plot.width / 2.0, origin.y + canvas.size.height - 8.0};
    e.click(row, 2);
    EXPECT_EQ(e.session().frequencyView(), FrequencyView{});
    EXPECT_EQ(canvas.inputs.frequencyView, FrequencyView{});
    EXPECT_EQ(e.session().editedCurve().size(), 5u);
}

// The modes sit in the middle of the bar whatever the preset's name: a long name is cut
// short beside them, never pushes them aside.
TEST(MainView, TheModeSelectorStaysPutWhateverThePresetsName) {
    Editor e(nullptr);
    e.open(false);
    const TopBarView& bar = e.view->topBar();
    const auto selector = [&] {
        const Rect first = frameInRoot(bar.segment(SpectralMode::delay));
        const Rect last = frameInRoot(bar.segment(SpectralMode::scatter));
        return Rect{first.x, first.y, last.maxX() - first.x, first.height};
    };
    const Rect shortName = selector();
    EXPECT_NEAR(shortName.x + shortName.width / 2.0, ZerinExtensionMainView::kSize.width / 2.0,
                4.0);
    e.session().savePreset("A preset with a name far longer than the bar has room for");
    e.frame();
    EXPECT_EQ(e.presets().currentPresetName(),
              "A preset with a name far longer than the bar has room for");
    const Rect longName = selector();
    EXPECT_EQ(longName, shortName);
    EXPECT_GT(frameInRoot(bar.presetButton()).x, longName.maxX());
    EXPECT_LE(frameInRoot(bar.saveButton()).maxX(), ZerinExtensionMainView::kSize.width);
    e.session().savePreset("A");
    e.frame();
    EXPECT_EQ(selector(), shortName);
}

// While morph or a macro makes the heard curve differ from the edited one, the canvas gets
// the heard curve to draw; at the defaults, none.
TEST(MainView, TheHeardCurveIsHandedToTheCanvasOnlyWhileItDiffersFromTheDrawnOne) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const auto set = [&](const char* id, float value) {
        e.hostTree->parameterWithIdentifier(id)->setValue(value);
        e.queue.pump();
        e.frame();
    };
    EXPECT_TRUE(e.view->canvas().inputs.heardLine.empty());
    set("curveScale", 50.0f);
    const std::vector<float>& line = e.view->canvas().inputs.heardLine;
    ASSERT_EQ(line.size(), static_cast<std::size_t>(kHeardLinePoints));
    EXPECT_NEAR(line.front(), 100.0f, 1e-3f); // the 20 Hz point's 200 ms, halved
    set("curveScale", 100.0f);
    EXPECT_TRUE(e.view->canvas().inputs.heardLine.empty());
    // Slot B is heard only as far as morph goes towards it.
    e.view->editCurve(CurveSlot::b, CurveKind::delay);
    e.frame();
    EXPECT_FALSE(e.view->canvas().inputs.heardLine.empty());
    set("morph", 100.0f);
    EXPECT_TRUE(e.view->canvas().inputs.heardLine.empty());
    // Synced, delays are labelled with notes at the unit's tempo.
    set("delaySync", 1.0f);
    EXPECT_EQ(e.view->canvas().inputs.syncTempo, audio.unit->dspKernel().hostTempo());
    EXPECT_FALSE(e.view->canvas().inputs.heardLine.empty());
    EXPECT_TRUE(e.view->canvas().inputs.heardLeft.empty());

    // Spread, the two sides replace the heard line: the left at half of it, the right at one
    // and a half; the readout gives both. The feedback curve has no sides.
    set("delaySync", 0.0f);
    set("curveScale", 50.0f);
    const std::vector<float> heard = e.view->canvas().inputs.heardLine;
    set("stereoSpread", 100.0f);
    const SpectralCanvasInputs& in = e.view->canvas().inputs;
    EXPECT_TRUE(in.heardLine.empty());
    ASSERT_EQ(in.heardLeft.size(), heard.size());
    EXPECT_NEAR(in.heardRight.front(), 1.5f * heard.front(), 1e-3f);
    EXPECT_TRUE(e.session().heardAt(1000.0f).sidesMs);
    e.view->editCurve(CurveSlot::b, CurveKind::feedback);
    e.frame();
    EXPECT_TRUE(in.heardLeft.empty());
    EXPECT_TRUE(in.heardRight.empty());
}

// A mono unit has no sides to spread: its editor draws one heard line and reads out one delay.
TEST(MainView, AMonoUnitHearsNoSpread) {
    test::Host audio(44100.0, 1);
    Editor e(audio.unit);
    e.open();
    e.hostTree->parameterWithIdentifier("stereoSpread")->setValue(100.0f);
    e.hostTree->parameterWithIdentifier("curveScale")->setValue(50.0f);
    e.queue.pump();
    e.frame();
    EXPECT_TRUE(e.view->canvas().inputs.heardLeft.empty());
    EXPECT_FALSE(e.view->canvas().inputs.heardLine.empty());
    EXPECT_FALSE(e.session().heardAt(1000.0f).sidesMs);
}

// 2 S | 10 S sets the range as one gesture and runs the delay axis as far; a point drawn beyond
// 2 s and switched back is heard at 2 s, and the heard line says so.
TEST(MainView, TheRangeRunsTheDelayAxisAndAPointBeyondItIsHeardAtItsEnd) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    e.click(e.view->curveChoice().rangeSegment(1));
    EXPECT_EQ(audio.unit->dspKernel().getParameter(parameter::delayRange), 1.0f);
    EXPECT_EQ(e.view->canvas().inputs.delayRange, 1);
    const CurveAxis longAxis{CurveKind::delay, 1};
    e.drag(e.onCanvas(1000.0f, 400.0f, longAxis), e.onCanvas(1000.0f, 8000.0f, longAxis));
    const ControlCurve& drawn = e.session().editedCurve();
    EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [](const CurveControlPoint& p) {
        return std::fabs(p.value - 8000.0f) < 60.0f; // within a pixel of the 10 s axis
    }));
    EXPECT_TRUE(e.view->canvas().inputs.heardLine.empty()) << "heard as drawn";

    e.click(e.view->curveChoice().rangeSegment(0));
    EXPECT_EQ(audio.unit->dspKernel().getParameter(parameter::delayRange), 0.0f);
    const std::vector<float>& line = e.view->canvas().inputs.heardLine;
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(*std::max_element(line.begin(), line.end()), 2000.0f);
    EXPECT_EQ(e.session().heardAt(1000.0f).delayMs, 2000.0f);
}

// 512 .. 8K set the frame size as one click, and the latency beside them follows at the unit's
// rate.
TEST(MainView, TheFrameSizeIsOneClickAndTheLatencyShownFollowsIt) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const double rate = (*audio.unit->outputBusses())[0].format().sampleRate;
    for (const int index : {0, 4, 2}) {
        e.click(e.view->frameSizeSwitch().segment(static_cast<std::size_t>(index)));
        EXPECT_EQ(audio.unit->dspKernel().getParameter(parameter::fftSize),
                  static_cast<float>(index));
        EXPECT_DOUBLE_EQ(e.session().latencyMs(), 1000.0 * (kFFTSizes[index] - 1) / rate);
    }
}

// MIX | WET | SPARED beside the title: a click is one gesture on the parameter, a host change
// shows, and a part heard alone lights amber where the usual mix does not.
TEST(MainView, ListenIsOneClickAndAPartHeardAloneLightsAmber) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    ModeEvents sent;
    const AUParameterObserverToken recorder = e.hostTree->tokenByAddingParameterAutomationObserver(
        [&](AUParameterAddress address, AUValue value, Event type) {
            if (address == parameter::listen) sent.emplace_back(value, type);
        });
    ASSERT_NE(e.view->listenSwitch(), nullptr);
    SegmentedControl& listen = *e.view->listenSwitch();
    // How much redder than blue the highlight under the selected segment is.
    const auto amber = [&](std::size_t index) {
        e.frame();
        e.now += 1.0; // the highlight has landed
        e.frame();
        OffscreenImage shot(ZerinExtensionMainView::kSize, 1.0);
        shot.draw(e.host);
        const View& segment = listen.segment(index);
        const Color c =
            shot.colorAt({segment.originInRoot().x + 3.0, test::centerInRoot(segment).y});
        return c.red - c.blue;
    };
    EXPECT_LT(amber(0), 0.05);
    e.click(listen.segment(2));
    EXPECT_EQ(sent, (ModeEvents{{2.0f, Event::touch}, {2.0f, Event::release}}));
    EXPECT_EQ(audio.unit->dspKernel().getParameter(parameter::listen), 2.0f);
    EXPECT_GT(amber(2), 0.15);
    e.hostTree->parameterWithIdentifier("listen")->setValue(1.0f);
    e.queue.pump();
    EXPECT_GT(amber(1), 0.15);
    EXPECT_LT(amber(2), 0.05);
    sent.clear();
    e.click(listen.segment(0));
    EXPECT_EQ(sent, (ModeEvents{{0.0f, Event::touch}, {0.0f, Event::release}}));
    EXPECT_LT(amber(0), 0.05);
    e.hostTree->removeParameterObserver(recorder);
}

TEST(MainView, SaveLoadAndDeleteThroughThePanels) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const Point outside{100.0, 300.0}; // on the scrims, away from both panels

    e.click(e.view->topBar().saveButton());
    PresetSaveDialog* dialog = e.view->saveDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e.host.context().focusedView(), dialog->nameField());
    e.click(*dialog->saveButton()); // nothing typed: stays open
    ASSERT_EQ(e.view->saveDialog(), dialog);
    e.click(*dialog->nameField());
    e.type("  Wash ");
    e.click(*dialog->saveButton()); // saved trimmed
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    EXPECT_EQ(test::namesOf(e.presets().userPresets()), std::vector<std::string>{"Wash"});
    EXPECT_EQ(test::namesOf(PresetManager(PreferenceStore(e.folder.path)).userPresets()),
              std::vector<std::string>{"Wash"});
    EXPECT_EQ(e.presets().currentPresetName(), "Wash");
    EXPECT_FALSE(e.presets().isDirty());
    EXPECT_EQ(audio.unit->presetName(), "Wash");

    // The scrim and Cancel close the dialog without saving.
    e.click(e.view->topBar().saveButton());
    e.type("Other");
    e.click(outside);
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    e.click(e.view->topBar().saveButton());
    e.click(e.view->saveDialog()->cancelButton());
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    EXPECT_EQ(e.presets().userPresets().size(), 1u);

    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    constexpr std::size_t kFactory = std::size(kFactoryCurves); // then the one user preset
    ASSERT_EQ(browser->rows().size(), kFactory + 1);
    EXPECT_TRUE(browser->showsUserSection());
    for (std::size_t i = 0; i < kFactory; ++i)
        EXPECT_EQ(browser->rows()[i].deleteButton, nullptr);
    ASSERT_NE(browser->rows()[kFactory].deleteButton, nullptr);

    // The current row ("Wash") is tinted cyan; the scrim darkens what lies under it.
    OffscreenImage shot(ZerinExtensionMainView::kSize, 1.0);
    shot.draw(e.host);
    const auto rowTint = [&](const View& load) {
        const Point c = Editor::centre(load);
        return shot.colorAt({load.originInRoot().x + load.frame().width - 4.0, c.y});
    };
    const Color current = rowTint(*browser->rows()[kFactory].loadButton);
    const Color other = rowTint(*browser->rows()[0].loadButton);
    EXPECT_GT(current.blue - other.blue, 0.02);
    EXPECT_GT(current.green - other.green, 0.02);
    const Color dimmed = shot.colorAt(outside);
    e.view->setShowPresetBrowser(false);
    e.host.layout(); // the same frame time: the orbs stand where they stood
    shot.clear();
    shot.draw(e.host);
    const Color clear = shot.colorAt(outside);
    EXPECT_NEAR(dimmed.blue, clear.blue * 0.7, 0.01);
    EXPECT_NEAR(dimmed.red, clear.red * 0.7, 0.01);

    e.click(*e.openPresetBrowser()->rows()[1].loadButton);
    EXPECT_EQ(e.view->presetBrowser(), nullptr);
    EXPECT_EQ(audio.unit->curve(CurveSlot::a, CurveKind::delay), factoryPairs(1));
    EXPECT_EQ(audio.unit->presetName(), "Shimmer Wash");

    e.click(*e.openPresetBrowser()->rows()[kFactory].deleteButton);
    ASSERT_NE(e.view->presetBrowser(), nullptr); // stays open
    EXPECT_EQ(e.view->presetBrowser()->rows().size(), kFactory);
    EXPECT_FALSE(e.view->presetBrowser()->showsUserSection());
    EXPECT_TRUE(PresetManager(PreferenceStore(e.folder.path)).userPresets().empty());
    e.click(outside);
    EXPECT_EQ(e.view->presetBrowser(), nullptr);
    EXPECT_EQ(audio.unit->curve(CurveSlot::a, CurveKind::delay), factoryPairs(1));
    EXPECT_EQ(e.presets().currentPresetName(), "Shimmer Wash");
}

TEST(MainView, ThePresetBrowserScrollsByWheelAndByItsIndicatorToEveryPreset) {
    Editor e(nullptr);
    storeUserPresets(e.folder.path, 6);
    e.open(false);
    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    constexpr std::size_t kLast = std::size(kFactoryCurves) + 5; // the sixth user preset
    ASSERT_EQ(browser->rows().size(), kLast + 1);
    const ScrollView& list = browser->scrollArea();
    ASSERT_TRUE(list.overflows());
    const Rect area = frameInRoot(list);
    const double end = list.contentHeight() - area.height;
    const Point inList{area.x + area.width / 3.0, area.y + area.height / 2.0};
    EXPECT_FALSE(showsInList(*browser, browser->rows()[kLast].loadButton));

    // One notch moves three rows; notches over the rows, down to the end and back.
    const double pitch = browser->rows()[1].loadButton->originInRoot().y -
                         browser->rows()[0].loadButton->originInRoot().y;
    e.host.scrollWheel(1.0, inList);
    EXPECT_NEAR(list.offset(), 3.0 * pitch, 1e-9);
    e.host.scrollWheel(-1.0, inList);
    for (int i = 0; i < 17; ++i) {
        e.host.scrollWheel(1.0, inList);
        e.frame();
    }
    EXPECT_EQ(list.offset(), end);
    EXPECT_TRUE(showsInList(*browser, browser->rows()[kLast - 1].loadButton));
    EXPECT_TRUE(showsInList(*browser, browser->rows()[kLast].loadButton));
    for (int i = 0; i < 17; ++i) {
        e.host.scrollWheel(-1.0, inList);
        e.frame();
    }
    EXPECT_EQ(list.offset(), 0.0);

    // A row pressed, then scrolled out of view and gone before the release: nothing loads.
    e.now += 1.0;
    e.host.pointerDown(Editor::centre(*browser->rows()[0].loadButton), {});
    for (int i = 0; i < 17; ++i)
        e.host.scrollWheel(1.0, inList);
    e.frame();
    EXPECT_EQ(browser->rows()[0].loadButton, nullptr);
    e.host.pointerUp(inList, {});
    e.frame();
    EXPECT_EQ(e.view->presetBrowser(), browser);
    EXPECT_EQ(e.presets().currentPresetName(), "Init");
    for (int i = 0; i < 17; ++i)
        e.host.scrollWheel(-1.0, inList);
    e.frame();

    // The indicator dragged to the bottom of its track, then a press on the track above it.
    const Rect bar = list.indicatorRect();
    const Point grab{area.x + bar.x + bar.width / 2.0, area.y + bar.y + bar.height / 2.0};
    e.drag(grab, {grab.x, area.maxY() + 40.0});
    EXPECT_EQ(list.offset(), end);
    EXPECT_EQ(e.view->presetBrowser(), browser); // the drag neither loaded nor closed
    e.click({grab.x, area.y + 3.0});
    EXPECT_EQ(list.offset(), 0.0);
}

TEST(MainView, ThePresetBrowserBuildsOnlyTheRowsInViewOfThousands) {
    Editor e(nullptr);
    storeUserPresets(e.folder.path, 2000);
    e.open(false);
    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    const std::size_t rows = std::size(kFactoryCurves) + 2000;
    ASSERT_EQ(browser->rows().size(), rows);
    // The close button and a screenful of rows, with a delete button each.
    EXPECT_LT(countOf<Button>(*browser), 40);
    EXPECT_EQ(browser->rows()[rows - 1].loadButton, nullptr);

    const ScrollView& list = browser->scrollArea();
    const Rect area = frameInRoot(list);
    const Rect bar = list.indicatorRect();
    const Point grab{area.x + bar.x + bar.width / 2.0, area.y + bar.y + bar.height / 2.0};
    e.drag(grab, {grab.x, area.maxY() + 40.0});
    EXPECT_EQ(list.offset(), list.contentHeight() - area.height);
    EXPECT_LT(countOf<Button>(*browser), 40);
    EXPECT_EQ(browser->rows()[0].loadButton, nullptr); // scrolled away and gone
    ASSERT_TRUE(showsInList(*browser, browser->rows()[rows - 1].loadButton));
    e.click(*browser->rows()[rows - 1].deleteButton);
    ASSERT_EQ(browser->rows().size(), rows - 1);
    EXPECT_EQ(e.presets().userPresets().back().name, "User 1999");
    ASSERT_TRUE(showsInList(*browser, browser->rows()[rows - 2].loadButton));
    e.click(*browser->rows()[rows - 2].loadButton);
    EXPECT_EQ(e.presets().currentPresetName(), "User 1999");
}

TEST(MainView, TheSaveDialogTakesTheKeysAtOnceAndAsksBeforeReplacing) {
    test::Host audio;
    Editor e(audio.unit);
    e.open();
    const auto setCurve = [&](float delay) {
        e.session().setEditedCurve(
            {{Uuid::random(), 200.0f, delay}, {Uuid::random(), 4000.0f, 90.0f}});
        e.session().commitEdit();
    };
    const auto delayOf = [](const Preset& preset) { return preset.points().at(0).value; };

    // Keys typed right after the click that opens it, before the next frame (as a quick typist's
    // reach the window under X), land in the name field; Return saves.
    setCurve(300.0f);
    const Point saveButton = Editor::centre(e.view->topBar().saveButton());
    e.now += 1.0;
    e.host.pointerDown(saveButton, {});
    e.host.pointerUp(saveButton, {});
    for (char c : std::string("Wash"))
        e.host.keyDown({Key::character, std::string(1, c), 0, {}});
    ASSERT_NE(e.view->saveDialog(), nullptr);
    EXPECT_EQ(e.view->saveDialog()->presetName(), "Wash");
    e.press(Key::enter);
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    ASSERT_EQ(test::namesOf(e.stored()), std::vector<std::string>{"Wash"});
    EXPECT_EQ(audio.unit->presetName(), "Wash");

    // Escape closes without saving.
    e.click(saveButton);
    e.type("Other");
    e.press(Key::escape);
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    EXPECT_EQ(e.stored().size(), 1u);

    // The name of a stored preset is asked about; Escape and Cancel go back to the name and
    // keep the stored curves, Replace overwrites them in place.
    setCurve(700.0f);
    e.click(saveButton);
    e.type("Wash");
    e.press(Key::enter);
    PresetSaveDialog* dialog = e.view->saveDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->replacing(), std::optional<std::string>("Wash"));
    ASSERT_NE(dialog->replaceButton(), nullptr);
    EXPECT_EQ(dialog->nameField(), nullptr);
    e.press(Key::escape);
    ASSERT_EQ(e.view->saveDialog(), dialog);
    EXPECT_EQ(dialog->replacing(), std::nullopt);
    ASSERT_NE(dialog->nameField(), nullptr);
    EXPECT_EQ(e.host.context().focusedView(), dialog->nameField());
    e.press(Key::enter);
    e.click(dialog->cancelButton());
    EXPECT_EQ(dialog->replacing(), std::nullopt);
    EXPECT_EQ(delayOf(e.stored().at(0)), 300.0f);
    e.press(Key::enter);
    e.click(*dialog->replaceButton());
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    ASSERT_EQ(e.stored().size(), 1u);
    EXPECT_EQ(delayOf(e.stored()[0]), 700.0f);

    // A factory name is stored with " (User)", and that is the name asked about next time.
    // A preset another editor stored under a name meanwhile is asked about too; Return
    // replaces.
    for (int round = 0; round < 2; ++round) {
        e.click(saveButton);
        e.type("Shimmer Wash");
        e.press(Key::enter);
    }
    ASSERT_NE(e.view->saveDialog(), nullptr);
    EXPECT_EQ(e.view->saveDialog()->replacing(), std::optional<std::string>("Shimmer Wash (User)"));
    e.press(Key::escape);
    e.press(Key::escape);
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    PresetManager other{PreferenceStore(e.folder.path)};
    ASSERT_TRUE(other.savePreset("Theirs", setOfDelayCurve({{Uuid::random(), 500.0f, 5.0f}})));
    e.click(saveButton);
    e.type("Theirs");
    e.press(Key::enter);
    ASSERT_NE(e.view->saveDialog(), nullptr);
    EXPECT_EQ(e.view->saveDialog()->replacing(), std::optional<std::string>("Theirs"));
    e.press(Key::enter);
    EXPECT_EQ(e.view->saveDialog(), nullptr);
    const std::vector<Preset> stored = e.stored();
    EXPECT_EQ(test::namesOf(stored),
              (std::vector<std::string>{"Wash", "Shimmer Wash (User)", "Theirs"}));
    EXPECT_EQ(delayOf(stored.at(2)), 700.0f);
}

TEST(MainView, ThePresetBrowserFilterNarrowsAsYouTypeAndReturnLoadsTheFirstMatch) {
    Editor e(nullptr);
    storeUserPresets(e.folder.path, 6);
    e.open(false);
    const auto rowNames = [&] {
        std::vector<std::string> names;
        for (const auto& row : e.view->presetBrowser()->rows())
            names.push_back(row.preset.name);
        return names;
    };
    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(e.host.context().focusedView(), &browser->filterField());
    e.type("uSER 5");
    EXPECT_EQ(rowNames(), std::vector<std::string>{"User 5"});
    for (int i = 0; i < 2; ++i)
        e.press(Key::backspace);
    EXPECT_EQ(rowNames().size(), 6u); // "uSER": no factory preset, and no factory header
    EXPECT_TRUE(browser->showsUserSection());
    e.type("zz");
    EXPECT_TRUE(rowNames().empty());
    e.press(Key::enter); // nothing to load: stays open, still filtering
    ASSERT_EQ(e.view->presetBrowser(), browser);
    EXPECT_EQ(e.host.context().focusedView(), &browser->filterField());
    for (int i = 0; i < 6; ++i)
        e.press(Key::backspace);
    EXPECT_EQ(rowNames().size(), std::size(kFactoryCurves) + 6);

    // A click on the panel takes the focus from the filter; typing still filters.
    const Rect panel = frameInRoot(*browser);
    e.click({panel.x + 60.0, panel.y + 14.0}); // beside the title
    ASSERT_EQ(e.view->presetBrowser(), browser);
    EXPECT_EQ(e.host.context().focusedView(), nullptr);
    e.type("WASH");
    EXPECT_EQ(rowNames(), std::vector<std::string>{"Shimmer Wash"});
    e.press(Key::enter);
    EXPECT_EQ(e.view->presetBrowser(), nullptr);
    EXPECT_EQ(e.presets().currentPresetName(), "Shimmer Wash");

    // Escape closes, from the filter and with nothing focused; it opens unfiltered.
    for (bool focused : {true, false}) {
        browser = e.openPresetBrowser();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->filter(), "");
        if (!focused) e.click({panel.x + 60.0, panel.y + 14.0});
        e.press(Key::escape);
        EXPECT_EQ(e.view->presetBrowser(), nullptr);
    }
    EXPECT_TRUE(presetNameMatches("\u00C9cho Doux", "\u00E9CHO"));
    EXPECT_FALSE(presetNameMatches("Echo", "\u00E9cho"));
}

TEST(MainView, ADeletedPresetComesBackByUndoOrCtrlZWithItsCurves) {
    Editor e(nullptr);
    storeUserPresets(e.folder.path, 3);
    e.open(false);
    const std::vector<Preset> before = e.stored();
    constexpr std::size_t kFactory = std::size(kFactoryCurves);
    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->undoButton(), nullptr);

    e.click(*browser->rows()[kFactory + 1].deleteButton);
    EXPECT_EQ(test::namesOf(e.stored()), (std::vector<std::string>{"User 1", "User 3"}));
    ASSERT_NE(browser->undoButton(), nullptr);
    EXPECT_EQ(e.host.context().focusedView(), &browser->filterField());
    e.click(*browser->undoButton());
    EXPECT_EQ(e.stored(), before); // ids, curves and places
    EXPECT_EQ(browser->undoButton(), nullptr);

    // Ctrl+Z puts back the latest first.
    e.click(*browser->rows()[kFactory].deleteButton);
    e.click(*browser->rows()[kFactory + 1].deleteButton);
    EXPECT_EQ(test::namesOf(e.stored()), std::vector<std::string>{"User 2"});
    e.key(U'z');
    EXPECT_EQ(test::namesOf(e.stored()), (std::vector<std::string>{"User 2", "User 3"}));
    e.key(U'z');
    EXPECT_EQ(e.stored(), before);
    EXPECT_EQ(e.view->presetBrowser(), browser);

    // The offer ends with the browser.
    e.click(*browser->rows()[kFactory].deleteButton);
    e.press(Key::escape);
    browser = e.openPresetBrowser();
    EXPECT_EQ(browser->undoButton(), nullptr);
    e.key(U'z');
    EXPECT_EQ(test::namesOf(e.stored()), (std::vector<std::string>{"User 2", "User 3"}));
}

// Another editor (a second manager on the same file, as another process holds one) writes
// while this one runs: the browser shows its presets when it opens, and this editor's own
// saves and deletes keep them.
TEST(MainView, ThePresetBrowserShowsWhatAnotherWriterStoredAndOwnChangesKeepIt) {
    Editor e(nullptr);
    storeUserPresets(e.folder.path, 1);
    e.open(false);
    PresetManager other{PreferenceStore(e.folder.path)};
    const CurveSetPoints curves = setOfDelayCurve({{Uuid::random(), 500.0f, 5.0f}});
    ASSERT_TRUE(other.savePreset("Theirs", curves));
    EXPECT_EQ(e.presets().userPresets().size(), 1u); // not read yet

    PresetBrowserView* browser = e.openPresetBrowser();
    ASSERT_NE(browser, nullptr);
    ASSERT_EQ(browser->rows().size(), std::size(kFactoryCurves) + 2);
    EXPECT_EQ(browser->rows().back().preset.name, "Theirs");
    e.press(Key::escape);

    ASSERT_TRUE(other.savePreset("Theirs 2", curves));
    e.click(e.view->topBar().saveButton());
    e.type("Mine");
    e.press(Key::enter);
    ASSERT_TRUE(other.savePreset("Theirs 3", curves));
    browser = e.openPresetBrowser();
    e.click(*browser->rows()[std::size(kFactoryCurves)].deleteButton); // User 1
    const std::vector<std::string> expected{"Theirs", "Theirs 2", "Mine", "Theirs 3"};
    EXPECT_EQ(test::namesOf(e.stored()), expected);
    EXPECT_EQ(test::namesOf(e.presets().userPresets()), expected);
}

TEST(MainView, WorksWithoutAUnit) {
    EXPECT_FALSE(InProcessUnitLink(nullptr).takeFrame(DisplayFrameKind::classification));
    EXPECT_EQ(InProcessUnitLink(nullptr).presetName(), "Init");
    Editor e(nullptr);
    e.open(false);
    const Point from = e.onCanvas(1000.0f, 400.0f);
    e.drag(from, {from.x, from.y + 50.0});
    EXPECT_TRUE(e.presets().isDirty());
    e.click(e.view->topBar().segment(SpectralMode::scatter));
    EXPECT_EQ(e.modeEvents, (ModeEvents{{2.0f, Event::touch}, {2.0f, Event::release}}));
    e.tick();
    e.tick();
    EXPECT_TRUE(e.view->isPolling());
    EXPECT_FALSE(e.session().classification());
    EXPECT_TRUE(e.view->undo());
    EXPECT_FALSE(e.presets().isDirty());
}

// The analyser's levels reach the canvas at display frames, not polls; hovering the plot
// reads out what plays there, and a drag hides it so nothing covers the point. OFF stops the
// unit's measuring, and the next editor opens with it.
TEST(MainView, TheSpectrumFollowsTheUnitHoveringReadsItOutAndOffIsKept) {
    test::Host audio(48000.0);
    Editor e(audio.unit);
    e.open();
    EXPECT_EQ(e.session().spectrumChoice(), SpectrumShown::both);
    e.frame(); // the first frame after the editor appears asks the unit for the levels
    audio.run(test::noise(2, 9600, 3));
    e.frame();
    ASSERT_TRUE(e.view->canvas().inputs.levels);
    EXPECT_TRUE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::levels));

    const Point at = e.onCanvas(1000.0f, 1500.0f);
    e.host.pointerMoved(at, {});
    e.frame();
    const std::optional<std::string> readout = e.view->canvas().hoverText();
    ASSERT_TRUE(readout);
    EXPECT_EQ(readout->rfind("1.00 kHz \u00b7 B5 +21 ct | ", 0), 0u) << *readout;
    EXPECT_NE(readout->find(" ms | fb 100 % | in "), std::string::npos) << *readout;
    e.host.pointerDown(at, {});
    e.host.pointerMoved({at.x + 5.0, at.y}, {});
    EXPECT_FALSE(e.view->canvas().hoverText());
    e.host.pointerUp({at.x + 5.0, at.y}, {});
    e.host.pointerLeft();
    EXPECT_FALSE(e.view->canvas().hoverText());

    e.click(e.view->spectrumSwitch().segment(0));
    EXPECT_EQ(e.session().spectrumChoice(), SpectrumShown::off);
    EXPECT_FALSE(audio.unit->dspKernel().frameWanted(DisplayFrameKind::levels));
    EXPECT_FALSE(e.view->canvas().inputs.levels);
    e.open();
    EXPECT_EQ(e.session().spectrumChoice(), SpectrumShown::off);
}

// HOLD lights while the parameter holds the freeze and while a note does: a musician who
// plays the freeze from a keyboard sees it held.
TEST(MainView, HoldLightsWhileANoteHoldsTheFreeze) {
    test::Host audio(48000.0);
    Editor e(audio.unit);
    e.open();
    ASSERT_NE(e.view->holdSwitch(), nullptr);
    // How much bluer than what lies beside it the button's face is: cyan when lit, a white
    // film when not.
    const auto holdTint = [&] {
        OffscreenImage shot(ZerinExtensionMainView::kSize, 1.0);
        shot.draw(e.host);
        const View& hold = *e.view->holdSwitch();
        const Point o = hold.originInRoot();
        const double y = o.y + hold.frame().height / 2.0;
        const Color face = shot.colorAt({o.x + 3.0, y}), beside = shot.colorAt({o.x - 3.0, y});
        return (face.blue - beside.blue) - (face.red - beside.red);
    };
    // A note message through the render call, as the editor's JACK MIDI port sends it.
    const test::Channels input = test::noise(2, 4096, 3);
    test::Channels out;
    const auto playAndPoll = [&](std::uint8_t status) {
        AURenderEvent note{nullptr, static_cast<AUEventSampleTime>(audio.sampleTime) + 100,
                           AURenderEventMIDI};
        note.length = 3;
        note.data[0] = status;
        note.data[1] = 60;
        note.data[2] = 100;
        audio.call(input, 512, out, &note);
        // The unit's report reaches the editor's leaf at a poll, and the leaf at the next turn
        // of the main queue.
        e.tick();
        e.tick();
    };
    EXPECT_LT(holdTint(), 0.02);
    playAndPoll(0x90);
    EXPECT_GT(holdTint(), 0.08);
    playAndPoll(0x80);
    EXPECT_LT(holdTint(), 0.02);
    e.hostTree->parameterWithIdentifier("freeze")->setValue(1.0f);
    e.tick();
    EXPECT_GT(holdTint(), 0.08);
}

TEST(ViewController, BuildsOneEditorAndReannouncesBulkChanges) {
    test::TempFolder folder;
    MainQueue queue{[] { return 0.0; }};
    ViewHost host(queue, {100.0, 100.0});
    AudioUnitViewController controller(queue, PreferenceStore(folder.path));
    controller.viewDidLoad(host);
    EXPECT_EQ(host.size(), (Size{900.0, 600.0}));
    AUError error;
    const auto unit = controller.createAudioUnit(zerinComponentDescription(), &error);
    ASSERT_TRUE(unit && unit->parameterTree());
    EXPECT_EQ(controller.mainView(), nullptr); // the build waits for the queue
    queue.pump();
    ASSERT_NE(controller.mainView(), nullptr);
    controller.buildEditorView(unit);
    host.advance(1.0);
    EXPECT_EQ(countOf<ZerinExtensionMainView>(*host.root()), 1);

    std::vector<std::pair<AUParameterAddress, AUValue>> heard;
    unit->parameterTree()->tokenByAddingParameterObserver(
        [&heard](AUParameterAddress a, AUValue v) { heard.emplace_back(a, v); });
    const nlohmann::json state = nlohmann::json::parse(R"({"parameters": {"dryWet": 25}})");
    unit->setFullState(&state);
    // The restore's own change, then every parameter again at its value.
    ASSERT_EQ(heard.size(), parameter::kCount + 1u);
    std::set<AUParameterAddress> addresses;
    for (std::size_t i = 1; i < heard.size(); ++i) {
        addresses.insert(heard[i].first);
        EXPECT_EQ(heard[i].second,
                  unit->parameterTree()->parameterWithAddress(heard[i].first)->value());
    }
    EXPECT_EQ(addresses.size(), static_cast<std::size_t>(parameter::kCount));
    queue.pump();
    EXPECT_EQ(controller.mainView()->controlsStrip().knobs()[2]->parameter().value(), 25.0f);

    // From another thread the announcement waits for the main queue.
    heard.clear();
    std::thread([&] { unit->setFullState(&state); }).join();
    EXPECT_EQ(heard.size(), 1u);
    queue.pump();
    EXPECT_EQ(heard.size(), parameter::kCount + 1u);
}

TEST(MainView, AHostTreeWithoutSomeParametersCostsTheirControlsOnly) {
    // The table without its modulation and stereo groups and without the mode and the listen
    // choice.
    ParameterTreeSpec spec = parameterTreeSpec();
    std::erase_if(spec.children, [](const NodeSpec& node) {
        const auto* group = std::get_if<ParameterGroupSpec>(&node.node);
        return group != nullptr &&
               (group->identifier == "modulation" || group->identifier == "stereo");
    });
    for (NodeSpec& node : spec.children)
        if (auto* group = std::get_if<ParameterGroupSpec>(&node.node))
            std::erase_if(group->children, [](const NodeSpec& child) {
                const auto* p = std::get_if<ParameterSpec>(&child.node);
                return p != nullptr && (p->identifier == "mode" || p->identifier == "listen");
            });
    const std::shared_ptr<AUParameterTree> hostTree = buildParameterTree(spec);
    test::TempFolder folder;
    double now = 1000.0;
    MainQueue queue{[&] { return now; }};
    ObservableAUParameterGroup mirror{*hostTree, hostTree, queue};
    std::vector<std::string> told;
    mirror.log = [&](const std::string& message) { told.push_back(message); };
    ViewHost host{queue, ZerinExtensionMainView::kSize};
    auto made =
        std::make_unique<ZerinExtensionMainView>(mirror, nullptr, PreferenceStore(folder.path));
    ZerinExtensionMainView* view = made.get();
    host.setRoot(std::move(made));
    for (int frame = 0; frame < 5; ++frame) {
        now += 0.02;
        host.advance(now);
    }
    // With no mode parameter there is nothing to select, and the canvas draws the delay mode.
    view->session().applyModeSelection(SpectralMode::freeze);
    EXPECT_EQ(view->session().currentMode(), SpectralMode::delay);

    // No LFO RATE, LFO DEPTH or SPREAD, no SYNC for the LFO, no PING, no MIX | WET | SPARED;
    // everything else in place.
    EXPECT_EQ(view->controlsStrip().knobs().size(), 10u);
    EXPECT_EQ(view->controlsStrip().syncToggle(), nullptr);
    EXPECT_EQ(view->controlsStrip().pingPongToggle(), nullptr);
    EXPECT_NE(view->controlsStrip().delaySyncToggle(), nullptr);
    EXPECT_EQ(view->listenSwitch(), nullptr);
    EXPECT_NE(view->holdSwitch(), nullptr);
    // lfoRate, lfoDepth, tempoSync, stereoSpread, pingPong, mode and listen, once each.
    EXPECT_EQ(told.size(), 7u);
    EXPECT_EQ(view->session().heardMacros().spread, 0.0f);
}

// Every control says what it is, where it stands and what it does; the two SYNCs say which
// is which; a knob's words follow its value and show beside it, inside the window.
TEST(MainView, EveryControlHasWordsAndTheyShowBesideItAfterARest) {
    Editor e(nullptr);
    e.open(false);
    std::vector<Button*> buttons;
    test::collect(*e.view, buttons);
    std::vector<SegmentedControl*> switches;
    test::collect(*e.view, switches);
    std::vector<View*> controls(buttons.begin(), buttons.end());
    for (SegmentedControl* s : switches)
        for (std::size_t i = 0; i < s->segmentCount(); ++i)
            controls.push_back(&s->segment(i));
    for (RotaryKnobView* knob : e.view->controlsStrip().knobs())
        controls.push_back(&knob->face());
    ASSERT_GT(controls.size(), 35u);
    for (View* control : controls) {
        ASSERT_TRUE(control->tooltip) << frameInRoot(*control).x << "," << frameInRoot(*control).y;
        EXPECT_GE(tooltipLines(control->tooltip()).size(), 1u);
    }
    const std::string lfoSync = e.view->controlsStrip().syncToggle()->tooltip();
    const std::string delaySync = e.view->controlsStrip().delaySyncToggle()->tooltip();
    EXPECT_NE(lfoSync.find("LFO follows the tempo"), std::string::npos) << lfoSync;
    EXPECT_NE(delaySync.find("Delays snap to note values"), std::string::npos) << delaySync;

    RotaryKnobView& feedback = *e.view->controlsStrip().knobs()[3];
    e.tree.parameter(parameter::feedback)->applyHostValue(parameter::feedback, 42.0f);
    e.host.pointerMoved(e.centre(feedback.face()), {});
    e.now += kTooltipDelay;
    e.frame();
    ASSERT_NE(e.host.tooltip(), nullptr);
    EXPECT_EQ(e.host.tooltip()->lines.front(), "Feedback: 42%");
    const Rect shown = e.host.tooltip()->frame;
    const Rect knob = frameInRoot(feedback.face());
    EXPECT_TRUE(shown.maxY() <= knob.y || shown.y >= knob.maxY()); // never across the knob
    EXPECT_TRUE((Rect{0.0, 0.0, 900.0, 600.0}.contains(shown)));
}

// The editor fills whatever window it is given above its minimum: the canvas takes the room,
// every control stays inside and the strip's knobs keep their spacing; a window smaller than
// the minimum shows the editor at its minimum, cut.
TEST(MainView, AtEverySizeTheCanvasTakesTheRoomAndEveryControlStaysInside) {
    Editor e(nullptr);
    e.open(false);
    std::optional<double> bars; // the height the top bar and the strip take
    for (const Size size : {ZerinExtensionMainView::kMinimumSize, ZerinExtensionMainView::kSize,
                            Size{1400.0, 850.0}, Size{2560.0, 1400.0}}) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        e.host.setSize(size);
        e.frame();
        const Rect window{0.0, 0.0, size.width, size.height};
        std::vector<Button*> buttons;
        test::collect(*e.view, buttons);
        std::vector<View*> controls(buttons.begin(), buttons.end());
        for (RotaryKnobView* knob : e.view->controlsStrip().knobs())
            controls.push_back(knob);
        controls.push_back(&e.view->frameSizeSwitch());
        controls.push_back(&e.view->spectrumSwitch());
        ASSERT_NE(e.view->listenSwitch(), nullptr);
        controls.push_back(e.view->listenSwitch());
        for (const View* control : controls)
            EXPECT_TRUE(window.contains(frameInRoot(*control)))
                << frameInRoot(*control).x << "," << frameInRoot(*control).y;
        const auto& knobs = e.view->controlsStrip().knobs();
        for (std::size_t i = 1; i < knobs.size(); ++i)
            EXPECT_GE(frameInRoot(*knobs[i]).x, frameInRoot(*knobs[i - 1]).maxX() + 10.0);
        // The toggles under the knobs and the listen choice between the title and the modes
        // stand 10 points from every other control beside them, and overlap none.
        controls.push_back(&e.view->topBar().segment(SpectralMode::delay));
        const ControlsStripView& strip = e.view->controlsStrip();
        const std::vector<const View*> placedOnes = {strip.pingPongToggle(), strip.syncToggle(),
                                                     strip.delaySyncToggle(),
                                                     e.view->listenSwitch()};
        for (const View* placed : placedOnes)
            for (const View* other : controls) {
                const Rect a = frameInRoot(*placed), b = frameInRoot(*other);
                if (other == placed || a.contains(b)) continue; // a segment of the choice
                EXPECT_TRUE(a.maxX() + 10.0 <= b.x || b.maxX() + 10.0 <= a.x || a.maxY() <= b.y ||
                            b.maxY() <= a.y)
                    << a.x << "," << a.y << " and " << b.x << "," << b.y;
            }
        const Rect canvas = frameInRoot(e.view->canvas());
        EXPECT_NEAR(canvas.maxX(), size.width, 1.0);
        if (!bars) bars = size.height - canvas.height;
        EXPECT_NEAR(size.height - canvas.height, *bars, 1e-9);
    }
    e.host.setSize({600.0, 400.0});
    e.frame();
    const Rect content = e.view->children().front()->frame();
    EXPECT_EQ(content.width, ZerinExtensionMainView::kMinimumSize.width);
    EXPECT_EQ(content.height, ZerinExtensionMainView::kMinimumSize.height);
}

// The window's size is kept in the preference store, brought within what the editor can take,
// and a damaged or missing entry opens the usual size.
TEST(MainView, TheWindowSizeIsKeptInThePreferenceStoreWithinItsLimits) {
    test::TempFolder folder;
    PreferenceStore store(folder.path);
    EXPECT_EQ(storedEditorSize(store), std::nullopt);
    storeEditorSize(store, {1280.4, 799.6});
    EXPECT_EQ(storedEditorSize(PreferenceStore(folder.path)), (Size{1280.0, 800.0}));
    storeEditorSize(store, {300.0, 1e6});
    EXPECT_EQ(storedEditorSize(store), (Size{900.0, kMaximumEditorSize.height}));
    // At the bounds and just past them: kept as they are, or brought back to them.
    const Size least = ZerinExtensionMainView::kMinimumSize;
    const Size most = kMaximumEditorSize;
    for (const double past : {0.0, 1.0, 4.0, 8.0, 16.0}) {
        EXPECT_EQ(usableEditorSize({least.width - past, most.height + past}),
                  (Size{least.width, most.height}));
        EXPECT_EQ(usableEditorSize({most.width + past, least.height - past}),
                  (Size{most.width, least.height}));
    }
    EXPECT_EQ(usableEditorSize({least.width + 1.0, most.height - 1.0}),
              (Size{least.width + 1.0, most.height - 1.0}));
    storeEditorSize(store, {std::nan(""), 700.0}); // not a size: the stored one stays
    EXPECT_EQ(storedEditorSize(store), (Size{900.0, kMaximumEditorSize.height}));
    for (const char* damaged : {R"("big")", R"({"width": "wide", "height": 700})", R"({})"}) {
        store.update(kEditorSizeKey, [damaged](nlohmann::ordered_json& value) {
            value = nlohmann::ordered_json::parse(damaged);
            return std::string();
        });
        EXPECT_EQ(storedEditorSize(store), std::nullopt) << damaged;
    }
}

// The curve edited is kept with the unit's state: a reopened editor, and one open while a
// state is restored, show the curve the state was saved on.
TEST(MainView, TheEditedCurveTravelsWithTheUnitsStateAndComesBack) {
    test::Host audio;
    nlohmann::json saved;
    {
        Editor e(audio.unit);
        e.open();
        e.view->editCurve(CurveSlot::b, CurveKind::feedback);
        e.session().setFrequencyView({100.0f, 1600.0f});
        EXPECT_EQ(audio.unit->editorView(),
                  (EditorView{CurveSlot::b, CurveKind::feedback, 100.0f, 1600.0f}));
        saved = audio.unit->fullState();
    }
    test::Host other;
    other.unit->setFullState(&saved);
    Editor reopened(other.unit);
    reopened.open();
    EXPECT_EQ(reopened.session().editedSlot(), CurveSlot::b);
    EXPECT_EQ(reopened.session().editedKind(), CurveKind::feedback);
    EXPECT_EQ(reopened.session().frequencyView(), (FrequencyView{100.0f, 1600.0f}));
    EXPECT_EQ(reopened.view->canvas().inputs.frequencyView, (FrequencyView{100.0f, 1600.0f}));

    // A state restored under an open editor takes it to that state's curve, as no step to undo.
    reopened.view->editCurve(CurveSlot::a, CurveKind::delay);
    reopened.session().setFrequencyView({});
    const std::size_t steps = reopened.session().history().undoDepth();
    other.unit->setFullState(&saved);
    reopened.tick();
    EXPECT_EQ(reopened.session().editedSlot(), CurveSlot::b);
    EXPECT_EQ(reopened.session().editedKind(), CurveKind::feedback);
    EXPECT_EQ(reopened.session().frequencyView(), (FrequencyView{100.0f, 1600.0f}));
    EXPECT_EQ(reopened.session().history().undoDepth(), steps);
}

} // namespace
} // namespace zerin
