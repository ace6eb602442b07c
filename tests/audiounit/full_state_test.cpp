// The full state hosts save with a project and hand back, damaged or not; the factory
// presets; the classification snapshot; and the bounded parser that state blobs go through.

#include "platform/json/bounded_json.h"
#include "dsp/factory_curves.h"
#include "unit_host.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zerin::test {
namespace {

using json = nlohmann::json;
using Curve = std::vector<std::pair<float, float>>;

Curve factoryCurve(std::size_t number) {
    Curve c;
    for (const CurvePoint& p : kFactoryCurves[number].points)
        c.emplace_back(p.freq, p.delay);
    return c;
}

std::vector<float> parameterValues(ZerinExtensionAudioUnit& unit) {
    std::vector<float> values;
    for (const AUParameter* p : unit.parameterTree()->parameters())
        values.push_back(p->value());
    return values;
}

const Curve kSeven = {{30, 10},     {90, 1900}, {250, 0},     {700, 333.5f},
                      {2500, 1200}, {9000, 75}, {18000, 2000}};

TEST(FullState, HoldsTheIdentityEveryParameterAndTheCurve) {
    Host host;
    const json state = host.unit->fullState();
    EXPECT_EQ(state["formatVersion"], 1);
    EXPECT_EQ(state["type"], "aufx");
    EXPECT_EQ(state["subtype"], "Zrin");
    EXPECT_EQ(state["manufacturer"], "Vesk");
    ASSERT_EQ(state["parameters"].size(), 10u);
    for (const AUParameter* p : host.unit->parameterTree()->parameters())
        EXPECT_EQ(state["parameters"][p->identifier()].get<float>(), p->value());
    const json& curve = state["spectralCurve"];
    ASSERT_EQ(curve.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(curve[i].size(), 2u);
        EXPECT_EQ(curve[i]["freq"].get<float>(), factoryCurve(0)[i].first);
        EXPECT_EQ(curve[i]["delay"].get<float>(), factoryCurve(0)[i].second);
    }
}

TEST(FullState, ARestoredStateReproducesCurveAndParametersOnAFreshUnit) {
    const auto source = makeUnit();
    source->setSpectralCurve(kSeven);
    const std::pair<const char*, float> settings[] = {{"dryWet", 75.0f},
                                                      {"mode", 2.0f},
                                                      {"feedback", 55.0f},
                                                      {"tempoSync", 1.0f},
                                                      {"lfoRate", 0.01f}};
    for (const auto& [id, value] : settings)
        param(*source, id).setValue(value);
    // Through text, as a project file carries it.
    const json state = json::parse(source->fullState().dump());

    const auto restored = makeUnit();
    int announced = 0;
    restored->observeAllParameterValues([&announced] { ++announced; });
    restored->setFullState(&state);
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(parameterValues(*restored), parameterValues(*source));
    EXPECT_EQ(restored->getSpectralCurve(), kSeven);
    // Restored before allocation, the curve survives it: allocation installs the default
    // curve only on a unit that was never given one.
    setFormats(*restored, 48000.0, 2, 2);
    AUError error;
    ASSERT_TRUE(restored->allocateRenderResources(&error));
    EXPECT_EQ(restored->getSpectralCurve(), kSeven);
    EXPECT_EQ(restored->fullState(), source->fullState());
}

TEST(FullState, ParameterValuesAreClampedAndJunkIgnored) {
    const auto unit = makeUnit();
    const json state = {{"parameters",
                         {{"dryWet", 500},
                          {"inputGain", -1e308},
                          {"lfoRate", 0},
                          {"feedback", "90"},
                          {"mode", nullptr},
                          {"lfoDepth", json::array({5})},
                          {"scatterSpeed", true},
                          {"bogus", 3}}}};
    unit->setFullState(&state);
    EXPECT_EQ(param(*unit, "dryWet").value(), 100.0f);
    EXPECT_EQ(param(*unit, "inputGain").value(), -24.0f);
    EXPECT_EQ(param(*unit, "lfoRate").value(), param(*unit, "lfoRate").minValue());
    EXPECT_EQ(param(*unit, "feedback").value(), 30.000002f);
    EXPECT_EQ(param(*unit, "mode").value(), 0.0f);
    EXPECT_EQ(param(*unit, "lfoDepth").value(), 20.0f);
    EXPECT_EQ(param(*unit, "scatterSpeed").value(), 50.0f);
}

json withCurve(json curve) {
    return {{"spectralCurve", std::move(curve)}};
}

json point(json freq, json delay) {
    return {{"freq", std::move(freq)}, {"delay", std::move(delay)}};
}

TEST(FullState, DamagedStatesNeverCrashAndLeaveTheCurve) {
    Host host;
    host.unit->setSpectralCurve(kSeven);
    const std::vector<float> before = parameterValues(*host.unit);
    json deep = json::array();
    for (int i = 0; i < 200; ++i)
        deep = json::array({deep});
    const std::vector<json> damaged = {
        json(),
        json::object(),
        json("text"),
        json(42),
        json::array({1, 2}),
        {{"parameters", json::array({1})}, {"spectralCurve", "curve"}},
        {{"parameters", nullptr}, {"spectralCurve", 7}},
        withCurve(json::object({{"freq", 20}, {"delay", 10}})),
        withCurve(json::array()),
        withCurve(json::array({json::object(), point(20, nullptr), json::object({{"freq", 20}})})),
        withCurve(json::array({1, "x", nullptr, true, deep, json::array({20, 100})})),
        withCurve(json::array({point("20", 100), point(20, "100"), point(json::array(), 1)})),
        // Frequencies the kernel takes a logarithm of; delays no float can hold.
        withCurve(json::array({point(0, 100), point(-20, 100), point(1e-60, 100), point(1e300, 100),
                               point(20, 1e300), point(20, -1e300)})),
        withCurve(deep),
    };
    for (const json& state : damaged) {
        host.unit->setFullState(&state);
        EXPECT_EQ(host.unit->getSpectralCurve(), kSeven) << state.dump().substr(0, 200);
    }
    host.unit->setFullState(nullptr);
    EXPECT_EQ(host.unit->getSpectralCurve(), kSeven);
    EXPECT_EQ(parameterValues(*host.unit), before);
    // Still renders.
    host.run(noiseChannels(2, 2048, 9));
}

TEST(FullState, UsablePointsAmongDamagedOnesInstallInOrder) {
    const auto unit = makeUnit();
    const json state = withCurve(json::array(
        {point(0, 100), point(50, 250), json::object({{"freq", 90}}), point(40, -30),
         point(20000, 1e300), json::object({{"freq", 8000}, {"delay", 600}, {"extra", "x"}})}));
    unit->setFullState(&state);
    EXPECT_EQ(unit->getSpectralCurve(), (Curve{{50, 250}, {40, -30}, {8000, 600}}));
}

TEST(FullState, LongCurvesInstallTheirFirst32Points) {
    const auto unit = makeUnit();
    for (const std::size_t length : {40u, 100000u}) {
        json points = json::array();
        for (std::size_t i = 0; i < length; ++i)
            points.push_back(point(20.0 + static_cast<double>(i), static_cast<double>(i % 2000)));
        const json state = withCurve(std::move(points));
        unit->setFullState(&state);
        const Curve curve = unit->getSpectralCurve();
        ASSERT_EQ(curve.size(), 32u);
        EXPECT_EQ(curve.front(), (std::pair{20.0f, 0.0f}));
        EXPECT_EQ(curve.back(), (std::pair{51.0f, 31.0f}));
    }
}

TEST(FullState, AnEmptyCurveIsSavedAsAnEmptyList) {
    const auto unit = makeUnit();
    unit->setSpectralCurve({});
    EXPECT_TRUE(unit->getSpectralCurve().empty());
    EXPECT_EQ(unit->fullState()["spectralCurve"], json::array());
}

TEST(FactoryPresets, NamesNumbersAndTheCurveTheyInstall) {
    Host host(44100.0, 2, {{"dryWet", 80.0f}, {"mode", 1.0f}});
    const std::vector<AUAudioUnitPreset> presets = host.unit->factoryPresets();
    ASSERT_EQ(presets.size(), 4u);
    const char* names[] = {"Init", "Shimmer Wash", "Granular Haze", "Rhythmic Scatter"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(presets[i].number, static_cast<std::int64_t>(i));
        EXPECT_EQ(presets[i].name, names[i]);
    }
    const std::vector<float> values = parameterValues(*host.unit);
    host.unit->setCurrentPreset(presets[2]);
    EXPECT_EQ(host.unit->getSpectralCurve(), factoryCurve(2));
    EXPECT_EQ(host.unit->getSpectralCurve().size(), 6u);
    EXPECT_EQ(host.unit->currentPreset()->number, 2);
    EXPECT_EQ(parameterValues(*host.unit), values);

    for (const std::int64_t number : {-1L, 4L, 1000L}) {
        host.unit->setCurrentPreset(AUAudioUnitPreset{number, "Elsewhere"});
        EXPECT_EQ(host.unit->getSpectralCurve(), factoryCurve(2)) << number;
        EXPECT_EQ(host.unit->currentPreset()->number, number);
    }
    host.unit->setCurrentPreset(std::nullopt);
    EXPECT_FALSE(host.unit->currentPreset());
    EXPECT_EQ(host.unit->getSpectralCurve(), factoryCurve(2));
}

TEST(ClassificationSnapshot, ReturnedOnceThenNothing) {
    Host host(44100.0, 2, {{"sourceSensitivity", 50.0f}});
    EXPECT_FALSE(host.unit->getClassificationSnapshot());
    host.run(noiseChannels(2, 512, 10));
    const auto snapshot = host.unit->getClassificationSnapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->size(), 1025u);
    for (const float rating : *snapshot)
        ASSERT_TRUE(rating >= 0.0f && rating <= 1.0f);
    EXPECT_FALSE(host.unit->getClassificationSnapshot());
}

TEST(UntrustedJson, NestingAndSizeAreBoundedWithAMessage) {
    std::string error;
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '[') +
               std::string(static_cast<std::size_t>(depth), ']');
    };
    EXPECT_TRUE(parseUntrustedJson(nested(64), &error));
    EXPECT_FALSE(parseUntrustedJson(nested(65), &error));
    EXPECT_NE(error.find("nested deeper than 64"), std::string::npos) << error;
    EXPECT_FALSE(parseUntrustedJson(nested(100000), &error));
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(parseUntrustedJson("{\"a\": \"" + nested(100) + "\\\"[[\"}", &error)) << error;

    std::string big = "[\"" + std::string(16u << 20, 'x') + "\"]";
    EXPECT_FALSE(parseUntrustedJson(big, &error));
    EXPECT_NE(error.find("16 MiB"), std::string::npos) << error;
    EXPECT_FALSE(parseUntrustedJson("{\"spectralCurve\": [", &error));
    EXPECT_NE(error.find("not valid JSON"), std::string::npos) << error;

    const std::string path = ::testing::TempDir() + "zerin-big-state.json";
    std::ofstream(path) << big;
    EXPECT_FALSE(readJsonFile(path, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("16 MiB"), std::string::npos) << error;
    std::filesystem::remove(path);
    EXPECT_FALSE(readJsonFile(path, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

} // namespace
} // namespace zerin::test
