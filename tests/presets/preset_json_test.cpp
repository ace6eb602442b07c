#include "dsp/factory_curves.h"
#include "editor/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/preset.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <string>

namespace zerin {
namespace {

Uuid uuid(const char* text) {
    return *Uuid::parse(text);
}

TEST(PresetJson, EncodesDocumentedKeyOrderAndRoundTrips) {
    const Preset wash{uuid("0f8fad5b-d9cb-469f-a165-70867728950e"),
                      "Wash \"2\"",
                      {{uuid("7c9e6679-7425-40de-944b-e07fc1f90ae7"), 440.5f, 0.1f},
                       {uuid("16fd2706-8baf-433b-82eb-8c7fada847da"), 20000.0f, 2000.0f}},
                      false};
    const Preset empty{Uuid::random(), "", {}, true};
    const std::vector<Preset> list{wash, empty};

    const auto text = encodePresetList(list);
    ASSERT_TRUE(text);
    const std::string washText =
        R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"Wash \"2\"","points":[)"
        R"({"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","freq":440.5,"delay":0.1},)"
        R"({"id":"16FD2706-8BAF-433B-82EB-8C7FADA847DA","freq":20000.0,"delay":2000.0}],)"
        R"("isFactory":false})";
    EXPECT_EQ(text->substr(0, washText.size() + 1), "[" + washText);
    EXPECT_NE(text->find(R"("points":[],"isFactory":true})"), std::string::npos);

    const auto decoded = decodePresetList(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, list); // ids, names, point ids and values, flags
}

TEST(PresetJson, DecodeIsAllOrNothingAndIgnoresUnknownKeys) {
    const nlohmann::ordered_json good = toJson(Preset{Uuid::random(), "A", {{}}, false});
    auto withExtra = good;
    withExtra["colour"] = "teal";
    EXPECT_TRUE(presetFromJson(withExtra));

    std::vector<nlohmann::ordered_json> bad;
    for (const char* key : {"id", "name", "points", "isFactory"}) {
        auto missing = good;
        missing.erase(key);
        bad.push_back(missing);
    }
    for (const auto& [key, value] : std::vector<std::pair<const char*, nlohmann::ordered_json>>{
             {"id", 7},
             {"id", "not-a-uuid"},
             {"name", nullptr},
             {"points", "none"},
             {"points", nlohmann::ordered_json::parse(R"([{"freq": 100, "delay": 5}])")},
             {"isFactory", 0}}) {
        auto wrong = good;
        wrong[key] = value;
        bad.push_back(wrong);
    }
    bad.push_back(nlohmann::ordered_json::array({good}));

    for (const auto& element : bad) {
        SCOPED_TRACE(element.dump());
        EXPECT_FALSE(presetFromJson(element));
        EXPECT_FALSE(presetListFromJson(nlohmann::ordered_json::array({good, element})));
    }
    EXPECT_TRUE(presetListFromJson(nlohmann::ordered_json::array({good, withExtra})));
}

TEST(PresetJson, UntrustedTextNeverCrashes) {
    EXPECT_FALSE(decodePresetList(""));
    EXPECT_FALSE(decodePresetList("[{\"id\":"));
    EXPECT_FALSE(decodePresetList("{}"));
    EXPECT_FALSE(decodePresetList(std::string(200000, '[') + std::string(200000, ']')));
    EXPECT_FALSE(decodePresetList("[{\"name\":\"\xff\"}]"));
    // A name from the command line need not be UTF-8; it must fail to encode, not throw.
    EXPECT_FALSE(encodePresetList(std::vector<Preset>{{Uuid::random(), "bad \xff", {}, false}}));
}

TEST(FactoryPresetList, FollowTheFactoryCurvesWithInitOnTheDefaultCurve) {
    const auto& presets = factoryPresetList();
    ASSERT_EQ(presets.size(), std::size(kFactoryCurves));
    EXPECT_EQ(&presets, &factoryPresetList());
    std::set<Uuid> ids;
    for (std::size_t i = 0; i < presets.size(); ++i) {
        const Preset& preset = presets[i];
        EXPECT_EQ(preset.name, kFactoryCurves[i].name);
        EXPECT_TRUE(preset.isFactory);
        ids.insert(preset.id);
        ASSERT_EQ(preset.points.size(), kFactoryCurves[i].points.size());
        for (std::size_t k = 0; k < preset.points.size(); ++k) {
            EXPECT_EQ(preset.points[k].freq, kFactoryCurves[i].points[k].freq);
            EXPECT_EQ(preset.points[k].delay, kFactoryCurves[i].points[k].delay);
            ids.insert(preset.points[k].id);
        }
    }
    EXPECT_EQ(presets[0].name, "Init");
    EXPECT_EQ(presets[0].points, ZerinCurveConstants::defaultCurve()); // same ids too
    EXPECT_EQ(ids.size(), 4 + 5 + 5 + 6 + 6u);
}

} // namespace
} // namespace zerin
