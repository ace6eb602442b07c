// What a unit keeps: the parameter tree, the full state (damaged or not), presets and names.

#include "dsp/factory_curves.h"
#include "platform/json/bounded_json.h"
#include "unit_host.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

// Bytes asked of operator new on this thread: what reading a state may cost is bounded.
// Out of line, so that the compiler never sees a pointer from new reach free.
namespace {
thread_local std::size_t tNewBytes = 0;
}
[[gnu::noinline]] void* operator new(std::size_t size) {
    tNewBytes += size;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace zerin::test {
namespace {

using json = nlohmann::json;
using Curve = CurvePoints;

json savedState(const std::filesystem::path& path) {
    std::string error;
    const auto saved = readJsonFile(path.string(), &error);
    EXPECT_TRUE(saved) << error;
    return saved ? *saved : json();
}

std::vector<float> values(ZerinExtensionAudioUnit& unit) {
    std::vector<float> out;
    for (const AUParameter* p : unit.parameterTree()->parameters())
        out.push_back(p->value());
    return out;
}

const Curve kSeven = {{30, 10},     {90, 1900}, {250, 0},     {700, 333.5f},
                      {2500, 1200}, {9000, 75}, {18000, 2000}};

TEST(ParameterTree, ValuesLiveInTheKernelAndObserversHearOthersChanges) {
    auto unit = makeUnit();
    const std::shared_ptr<AUParameterTree> tree = unit->parameterTree();
    std::vector<std::pair<AUParameterAddress, AUValue>> heard;
    const auto token = tree->tokenByAddingParameterObserver(
        [&heard](AUParameterAddress a, AUValue v) { heard.emplace_back(a, v); });
    param(*unit, "inputGain").setValue(-7.5f);
    EXPECT_EQ(unit->dspKernel().getParameter(0), -7.5f);
    param(*unit, "tempoSync").setValue(0.7f, token, 0, AUParameterAutomationEventType::touch);
    EXPECT_EQ(param(*unit, "tempoSync").value(), 1.0f);
    unit->dspKernel().setParameter(parameter::mode, 2.0f); // changed behind the tree's back
    EXPECT_EQ(param(*unit, "mode").value(), 2.0f);
    tree->removeParameterObserver(token);
    param(*unit, "dryWet").setValue(30.0f);
    EXPECT_EQ(heard, (decltype(heard){{0, -7.5f}}));

    // A tree that outlives its unit reports the table's defaults, as a fresh unit would.
    unit.reset();
    AUParameter& mix = *tree->parameterWithIdentifier("dryWet");
    mix.setValue(10.0f);
    EXPECT_EQ(mix.value(), 50.0f);
}

TEST(FullState, EveryParameterAndTheCurveRoundTripOnAFreshUnitWithTheIdentity) {
    // Each parameter at a value of its own, so that a shared or forgotten field shows.
    Host source;
    std::vector<float> set;
    std::vector<bool> reported; // what the unit reports is not state
    for (AUParameter* p : source.unit->parameterTree()->parameters()) {
        reported.push_back((p->flags() & kAudioUnitParameterFlag_IsWritable) == 0);
        if (reported.back()) {
            set.push_back(p->value());
            continue;
        }
        const bool discrete = p->unit() == kAudioUnitParameterUnit_Boolean ||
                              p->unit() == kAudioUnitParameterUnit_Indexed ||
                              p->unit() == kAudioUnitParameterUnit_MIDINoteNumber;
        // Within the range however many parameters there are.
        const float share = 0.13f + 0.041f * static_cast<float>(set.size() % 21);
        set.push_back(discrete ? p->maxValue() : std::lerp(p->minValue(), p->maxValue(), share));
        p->setValue(set.back());
    }
    source.unit->setCurve(CurveSlot::a, CurveKind::delay, kSeven);
    source.unit->setCurve(CurveSlot::b, CurveKind::feedback, {{300.0f, 20.0f}, {4000.0f, 75.5f}});
    source.unit->setCurve(CurveSlot::b, CurveKind::delay, {{80.0f, 1500.0f}});
    const std::vector<float> fresh = values(*makeUnit());
    json state = json::parse(source.unit->fullState().dump()); // as a project file holds it
    const auto reports =
        static_cast<std::size_t>(std::count(reported.begin(), reported.end(), true));
    EXPECT_EQ(reports, 2u);
    EXPECT_EQ(state["parameters"].size(), static_cast<std::size_t>(parameter::kCount) - reports);
    const json& curves = state["curveSet"];
    EXPECT_EQ(curves["a"]["delay"][3], json::parse(R"({"freq": 700, "delay": 333.5})"));
    EXPECT_EQ(curves["a"]["feedback"], json::parse(R"([{"freq": 1000, "feedback": 100}])"));
    EXPECT_EQ(curves["b"]["feedback"][1], json::parse(R"({"freq": 4000, "feedback": 75.5})"));
    EXPECT_EQ(curves["b"]["delay"], json::parse(R"([{"freq": 80, "delay": 1500}])"));

    const auto restored = makeUnit();
    int announced = 0;
    restored->observeAllParameterValues([&announced] { ++announced; });
    restored->setFullState(&state);
    EXPECT_EQ(announced, 1);
    for (std::size_t i = 0; i < set.size(); ++i) {
        // Percentages live as fractions: the trip through /100 and *100 may cost a last bit.
        EXPECT_FLOAT_EQ(values(*restored)[i], set[i]) << i;
        if (!reported[i]) {
            EXPECT_NE(fresh[i], set[i]) << i;
        }
    }
    // Allocation installs the default curve only on a unit that was never given one.
    ASSERT_TRUE(setFormats(*restored, 48000.0, 2, 2));
    AUError error;
    ASSERT_TRUE(restored->allocateRenderResources(&error));
    EXPECT_EQ(restored->fullState(), state);
    EXPECT_EQ(restored->curve(CurveSlot::a, CurveKind::delay), kSeven);
    state.erase("parameters");
    state.erase("curveSet");
    EXPECT_EQ(state["presetName"], "Init");
    state.erase("presetName");
    EXPECT_EQ(editorViewFromState(state), EditorView{});
    state.erase("editorView");
    EXPECT_EQ(state.dump(),
              R"({"formatVersion":2,"manufacturer":"Vesk","subtype":"Zrin","type":"aufx"})");
}

// A file is written over only when it is a saved state this build can write back whole.
TEST(FullState, OnlySavedStatesThisBuildCanWriteBackAreTakenAsSuch) {
    Host host;
    json state = host.unit->fullState();
    EXPECT_EQ(savedStateProblem(state), "");
    state.erase("presetName"); // states written before the preset name was kept
    EXPECT_EQ(savedStateProblem(state), "");
    int earlier = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZERIN_STATE_CORPUS)) {
        if (entry.path().filename().string().rfind("factory-", 0) != 0) continue;
        EXPECT_EQ(savedStateProblem(savedState(entry.path())), "") << entry.path();
        ++earlier;
    }
    EXPECT_GT(earlier, 0);

    const auto with = [&](const char* key, const json& value) {
        json changed = state;
        changed[key] = value;
        return savedStateProblem(changed);
    };
    const auto without = [&](const char* key) {
        json changed = state;
        changed.erase(key);
        return savedStateProblem(changed);
    };
    for (const json& other : {json::object(), json::array(), json(nullptr), json("state"), json(5),
                              json::parse(R"({"name": "app"})")})
        EXPECT_NE(savedStateProblem(other), "") << other;
    EXPECT_NE(with("formatVersion", 99).find("formatVersion 99"), std::string::npos);
    for (const json& version : {json(0), json(-1), json(1.5), json("1"), json(nullptr)})
        EXPECT_NE(with("formatVersion", version), "") << version;
    EXPECT_NE(with("notes", "mine").find("notes"), std::string::npos);
    EXPECT_NE(with("subtype", "Dlay").find("Dlay"), std::string::npos);
    EXPECT_NE(with("parameters", json::array()), "");
    EXPECT_NE(with("spectralCurve", json::array()), "") << "not in this format";
    EXPECT_NE(with("presetName", 5), "");
    for (const char* key :
         {"formatVersion", "type", "subtype", "manufacturer", "parameters", "curveSet"})
        EXPECT_NE(without(key), "") << key;
    // A damaged curve set is read without it: reading says what is dropped.
    EXPECT_EQ(with("curveSet", 5), "");
    // One delay curve is the earlier format's, where it must be.
    json oneCurve = state;
    oneCurve["formatVersion"] = 1;
    oneCurve.erase("curveSet");
    EXPECT_NE(savedStateProblem(oneCurve), "");
    oneCurve["spectralCurve"] = json::array();
    EXPECT_EQ(savedStateProblem(oneCurve), "");
}

// States saved by earlier builds (tests/audiounit/saved) load whole and save again in this
// format: their one curve as both slots' delay curve with flat feedback, and the later
// parameters at their defaults. One of a later format is not restored at all, nor half of it.
TEST(FullState, StatesSavedByEarlierBuildsLoadWholeAndALaterFormatIsLeftAlone) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZERIN_SAVED_STATES)) {
        const json saved = savedState(entry.path());
        EXPECT_EQ(savedStateProblem(saved), "") << entry.path();
        Host host;
        host.unit->setFullState(&saved);
        json expected = saved;
        expected["formatVersion"] = kFullStateFormatVersion;
        for (const char* later : {"morph", "curveScale", "curveShift", "delaySync", "freezeStyle",
                                  "freeze", "freezeFade", "freezeNote", "delayRange", "fftSize",
                                  "stereoSpread", "pingPong", "listen"})
            expected["parameters"][later] = parameterSpec(later)->defaultValue;
        const json slot = {{"delay", saved["spectralCurve"]},
                           {"feedback", json::parse(R"([{"freq": 1000, "feedback": 100}])")}};
        expected["curveSet"] = {{"a", slot}, {"b", slot}};
        expected.erase("spectralCurve");
        // Opened where an editor opens afresh.
        expected["editorView"] = {
            {"slot", "a"}, {"kind", "delay"}, {"lowHz", 20.0}, {"highHz", 20000.0}};
        EXPECT_EQ(host.unit->fullState(), expected) << entry.path();
        EXPECT_EQ(savedStateProblem(host.unit->fullState()), "");

        json later = saved;
        later["formatVersion"] = kFullStateFormatVersion + 1;
        Host other;
        const json before = other.unit->fullState();
        other.unit->setFullState(&later);
        EXPECT_EQ(other.unit->fullState(), before) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 3);
}

TEST(FullState, DamagedStatesAreClampedOrIgnoredAndNeverCrash) {
    Host host;
    const json parameters = json::parse(R"({"parameters": {"dryWet": 500, "inputGain": -1e308,
        "feedback": "90", "mode": null, "lfoDepth": [5], "scatterSpeed": true, "bogus": 3}})");
    host.unit->setFullState(&parameters);
    const auto expected = makeUnit(); // numbers clamped, the rest ignored
    param(*expected, "dryWet").setValue(100.0f);
    param(*expected, "inputGain").setValue(-24.0f);
    EXPECT_EQ(values(*host.unit), values(*expected));

    host.unit->setCurve(CurveSlot::a, CurveKind::delay, kSeven);
    const std::vector<float> before = values(*host.unit);
    const std::string deep = std::string(200, '[') + std::string(200, ']');
    const std::string damaged[] = {
        "null", "[1, 2]", R"({"parameters": [1], "spectralCurve": "curve"})",
        R"({"spectralCurve": {"freq": 20, "delay": 10}})", R"({"spectralCurve": []})",
        R"({"spectralCurve": [{}, {"freq": 20, "delay": null}, {"freq": 20},
            {"freq": "20", "delay": 100}, {"freq": 20, "delay": "100"}]})",
        R"({"spectralCurve": [1, "x", null, true, [20, 100], )" + deep + "]}",
        // Frequencies the kernel takes a logarithm of; delays no float can hold.
        R"({"spectralCurve": [{"freq": 0, "delay": 100}, {"freq": -20, "delay": 100},
            {"freq": 1e-60, "delay": 100}, {"freq": 1e300, "delay": 100},
            {"freq": 20, "delay": 1e300}, {"freq": 20, "delay": -1e300}]})",
        R"({"spectralCurve": )" + deep + "}"};
    for (const std::string& text : damaged) {
        const json state = json::parse(text);
        host.unit->setFullState(&state);
        EXPECT_EQ(host.unit->curve(CurveSlot::a, CurveKind::delay), kSeven) << text.substr(0, 200);
    }
    host.unit->setFullState(nullptr);
    EXPECT_EQ(values(*host.unit), before);
    host.run(noise(2, 2048, 9));

    const json mixed = json::parse(R"({"spectralCurve": [{"freq": 0, "delay": 100},
        {"freq": 50, "delay": 250}, {"freq": 90}, {"freq": 40, "delay": -30},
        {"freq": 20000, "delay": 1e300}, {"freq": 8000, "delay": 600, "extra": "x"}]})");
    host.unit->setFullState(&mixed);
    // Kept, heard and saved in frequency order.
    EXPECT_EQ(host.unit->curve(CurveSlot::a, CurveKind::delay),
              (Curve{{40, -30}, {50, 250}, {8000, 600}}));
}

// A curve set damaged in any of its curves keeps every other key's value, the usable curves
// and, for each unusable one, the curve the unit held; reading it names what it dropped.
TEST(FullState, ADamagedCurveSetKeepsTheRestAndNamesWhatItDrops) {
    Host host;
    host.unit->setCurve(CurveSlot::a, CurveKind::delay, kSeven);
    json state = host.unit->fullState();
    state["parameters"]["dryWet"] = 15;
    state["parameters"]["morph"] = 40;
    state["curveSet"]["a"]["delay"] = json::array({json::object(), "x"});
    state["curveSet"]["a"]["feedback"] = json::parse(R"([{"freq": 100, "feedback": 250},
        {"freq": 900, "feedback": -5}, {"freq": 5000, "feedback": 55}, {"freq": 60, "delay": 3}])");
    state["curveSet"]["b"] = {{"delay", json::parse(R"([{"freq": 300, "delay": 700}])")},
                              {"feedback", "none"}};
    CurveSet scratch{};
    EXPECT_EQ(curveSetFromState(state, scratch).dropped,
              (std::vector<std::string>{"curveSet.a.delay", "curveSet.b.feedback"}));
    EXPECT_EQ(savedStateProblem(state), "");

    Host other;
    other.unit->setCurve(CurveSlot::a, CurveKind::delay, kSeven);
    other.unit->setFullState(&state);
    EXPECT_FLOAT_EQ(param(*other.unit, "dryWet").value(), 15.0f);
    EXPECT_FLOAT_EQ(param(*other.unit, "morph").value(), 40.0f);
    EXPECT_EQ(other.unit->curve(CurveSlot::a, CurveKind::delay), kSeven);
    // Feedback is limited to 0..100 % on the way in.
    EXPECT_EQ(other.unit->curve(CurveSlot::a, CurveKind::feedback),
              (Curve{{100, 100}, {900, 0}, {5000, 55}}));
    EXPECT_EQ(other.unit->curve(CurveSlot::b, CurveKind::delay), (Curve{{300, 700}}));
    EXPECT_EQ(other.unit->curve(CurveSlot::b, CurveKind::feedback), (Curve{{1000, 100}}));

    // Not an object at all: every curve stays.
    state["curveSet"] = json::array({1, 2});
    EXPECT_EQ(curveSetFromState(state, scratch).dropped, std::vector<std::string>{"curveSet"});
    other.unit->setFullState(&state);
    EXPECT_EQ(other.unit->curve(CurveSlot::b, CurveKind::delay), (Curve{{300, 700}}));
}

TEST(FullState, LongCurvesKeepTheFirst32PointsAtBoundedCost) {
    const auto unit = makeUnit();
    Curve many;
    json state = {{"spectralCurve", json::array()}};
    for (int i = 0; i < 100000; ++i) {
        many.push_back({20.0f + static_cast<float>(i), static_cast<float>(i % 2000)});
        state["spectralCurve"].push_back({{"freq", many[i].freq}, {"delay", many[i].value}});
    }
    const Curve first32(many.begin(), many.begin() + 32);
    tNewBytes = 0;
    unit->setFullState(&state);
    EXPECT_LT(tNewBytes, 4096u);
    EXPECT_EQ(unit->curve(CurveSlot::a, CurveKind::delay), first32);
    unit->setCurve(CurveSlot::a, CurveKind::delay, {});
    unit->setCurve(CurveSlot::a, CurveKind::delay, many);
    EXPECT_EQ(unit->curve(CurveSlot::a, CurveKind::delay), first32);
}

TEST(UntrustedJson, NestingAndSizeAreBoundedWithAMessage) {
    std::string error;
    const auto nested = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    EXPECT_TRUE(parseUntrustedJson(nested(64), &error));
    EXPECT_FALSE(parseUntrustedJson(nested(65), &error));
    EXPECT_NE(error.find("nested deeper than 64"), std::string::npos) << error;
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(parseUntrustedJson("{\"a\": \"" + nested(100) + "\\\"[[\"}", &error)) << error;

    const std::string path = ::testing::TempDir() + "zerin-big-state.json";
    std::ofstream(path) << "[\"" + std::string(16u << 20, 'x') + "\"]";
    EXPECT_FALSE(readJsonFile(path, &error));
    EXPECT_NE(error.find(path + ": larger than 16 MiB"), std::string::npos) << error;
    std::filesystem::remove(path);
}

TEST(FactoryPresets, InstallTheirCurveOnlyAndOtherNumbersChangeNothing) {
    Host host(44100.0, 2, {{"dryWet", 80.0f}, {"mode", 1.0f}});
    std::string names;
    for (const AUAudioUnitPreset& preset : host.unit->factoryPresets())
        names += std::to_string(preset.number) + " " + preset.name + ", ";
    EXPECT_EQ(names, "0 Init, 1 Shimmer Wash, 2 Granular Haze, 3 Rhythmic Scatter, "
                     "4 Dusk Crossfade, 5 Bright Tails, ");
    Curve haze;
    for (const CurvePoint& p : kFactoryCurves[2].points)
        haze.emplace_back(p.freq, p.value);
    const std::vector<float> before = values(*host.unit);
    host.unit->setCurrentPreset(host.unit->factoryPresets()[2]);
    EXPECT_EQ(values(*host.unit), before);
    for (const std::int64_t number : {-1L, 6L})
        host.unit->setCurrentPreset(AUAudioUnitPreset{number, "Elsewhere"});
    host.unit->setCurrentPreset(std::nullopt);
    EXPECT_EQ(host.unit->curve(CurveSlot::a, CurveKind::delay), haze);
    // The host's choice names the curve; numbers without a preset leave the name alone.
    EXPECT_EQ(host.unit->presetName(), "Granular Haze");
    const std::uint64_t changes = host.unit->externalChangeCount();
    host.unit->setCurrentPreset(host.unit->factoryPresets()[1]);
    EXPECT_EQ(host.unit->presetName(), "Shimmer Wash");
    EXPECT_GT(host.unit->externalChangeCount(), changes);
    // A preset of the whole set installs all of it; one of a single curve, flat feedback.
    EXPECT_EQ(host.unit->curve(CurveSlot::a, CurveKind::feedback), (Curve{{1000, 100}}));
    host.unit->setCurrentPreset(host.unit->factoryPresets()[4]);
    EXPECT_EQ(host.unit->curve(CurveSlot::b, CurveKind::delay),
              (Curve{{40, 80}, {400, 300}, {3000, 1100}, {16000, 1700}}));
    EXPECT_EQ(host.unit->curve(CurveSlot::a, CurveKind::feedback),
              (Curve{{80, 100}, {800, 70}, {6000, 15}}));
}

TEST(PresetName, TravelsWithTheStateAndFallsBackToInit) {
    const auto source = makeUnit();
    EXPECT_EQ(source->presetName(), "Init");
    source->setPresetName("Wash \xC3\xA9"); // "Wash é"
    const json state = json::parse(source->fullState().dump());
    const auto restored = makeUnit();
    const std::uint64_t changes = restored->externalChangeCount();
    restored->setFullState(&state);
    EXPECT_EQ(restored->presetName(), "Wash \xC3\xA9");
    EXPECT_GT(restored->externalChangeCount(), changes);

    // A state from before names were kept, or a damaged one, names the curve "Init".
    for (const char* text : {R"({"parameters": {}})", R"({"presetName": 7})",
                             R"({"presetName": null})", R"({"presetName": ["A"]})"}) {
        restored->setPresetName("Other");
        const json other = json::parse(text);
        restored->setFullState(&other);
        EXPECT_EQ(restored->presetName(), "Init") << text;
    }
}

// Where the editor stood travels with the state; a state without it, or with damaged
// entries, opens on slot A's delay curve over the whole axis, entry by entry.
TEST(EditorView, TravelsWithTheStateAndDamagedEntriesFallBackOneByOne) {
    const auto source = makeUnit();
    EXPECT_EQ(source->editorView(), EditorView{});
    const EditorView edited{CurveSlot::b, CurveKind::feedback, 110.0f, 3520.0f};
    source->setEditorView(edited);
    const json state = json::parse(source->fullState().dump());
    EXPECT_EQ(state["editorView"],
              json::parse(R"({"slot": "b", "kind": "feedback", "lowHz": 110, "highHz": 3520})"));
    const auto restored = makeUnit();
    restored->setFullState(&state);
    EXPECT_EQ(restored->editorView(), edited);

    const struct {
        const char* text;
        EditorView view;
    } cases[] = {
        {R"({"parameters": {}})", {}},
        {R"({"editorView": "b"})", {}},
        {R"({"editorView": {"slot": "c", "kind": "feedback"}})",
         {CurveSlot::a, CurveKind::feedback}},
        {R"({"editorView": {"slot": "b", "lowHz": 10, "highHz": 30000}})", {CurveSlot::b}},
        {R"({"editorView": {"lowHz": 5, "highHz": 1000}})", {.highHz = 1000.0f}},
        {R"({"editorView": {"lowHz": 1000, "highHz": 1500}})", {}}, // under an octave
        {R"({"editorView": {"lowHz": 1000, "highHz": 100}})", {}},
        {R"({"editorView": {"lowHz": "low", "highHz": 1e300}})", {}},
    };
    for (const auto& c : cases) {
        restored->setEditorView(edited);
        const json other = json::parse(c.text);
        restored->setFullState(&other);
        EXPECT_EQ(restored->editorView(), c.view) << c.text;
    }
    // A state a host hands back whole is taken, the view with it.
    std::string why = savedStateProblem(state);
    EXPECT_EQ(why, "");
}

TEST(PresetName, IsBoundedAtACharacterAndKeepsOnlyWellFormedText) {
    // 255 bytes of "a" and a two-byte "é": the é would end past the bound and goes whole.
    const std::string longName = std::string(255, 'a') + "\xC3\xA9" + std::string(1000, 'b');
    const auto unit = makeUnit();
    unit->setPresetName(longName);
    EXPECT_EQ(unit->presetName(), std::string(255, 'a'));
    const json huge = {{"presetName", std::string(1 << 20, 'x')}};
    tNewBytes = 0;
    unit->setFullState(&huge);
    EXPECT_LT(tNewBytes, 4096u);
    EXPECT_EQ(unit->presetName(), std::string(kMaxPresetNameBytes, 'x'));
    // Stray, overlong and surrogate bytes would make the state impossible to write as JSON.
    unit->setPresetName("A\xFF\xC0\xAF\xED\xA0\x80"
                        "B\xE2\x82\xAC\xF0\x9F\x8E\xB5\xE2\x82");
    EXPECT_EQ(unit->presetName(), "A"
                                  "B\xE2\x82\xAC\xF0\x9F\x8E\xB5");
    EXPECT_NO_THROW((void)unit->fullState().dump());
}

} // namespace
} // namespace zerin::test
