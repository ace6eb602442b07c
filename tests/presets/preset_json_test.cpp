#include "dsp/factory_curves.h"
#include "editor/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/preset.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace zerin {
namespace {

using nlohmann::ordered_json;

TEST(PresetJson, RoundTripsTheStoredForm) {
    // Upper-case ids, keys in this order, each float in the fewest digits that read back.
    const std::string text =
        R"([{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"Wash \"2\"","points":[)"
        R"({"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","freq":440.5,"delay":0.1},)"
        R"({"id":"16FD2706-8BAF-433B-82EB-8C7FADA847DA","freq":20000.0,"delay":2000.0}],)"
        R"("isFactory":false},{"id":"00000000-0000-4000-8000-000000000001","name":"",)"
        R"("points":[],"isFactory":true}])";
    const auto list = decodePresetList(text);
    ASSERT_TRUE(list && list->size() == 2);
    EXPECT_TRUE((*list)[0].name == "Wash \"2\"" && (*list)[0].points[0].freq == 440.5f &&
                (*list)[0].points[0].delay == 0.1f && (*list)[1].isFactory);
    EXPECT_EQ((*list)[0].points[1].id, Uuid::parse("16fd2706-8baf-433b-82eb-8c7fada847da"));
    EXPECT_EQ(encodePresetList(*list), text);
}

TEST(PresetJson, DecodingIsAllOrNothingAndIgnoresUnknownKeys) {
    const ordered_json good = toJson(Preset{Uuid::random(), "A", {{}}, false});
    const auto broken = ordered_json::parse(R"([
        {"op": "remove", "path": "/id"}, {"op": "remove", "path": "/name"},
        {"op": "remove", "path": "/points"}, {"op": "remove", "path": "/isFactory"},
        {"op": "remove", "path": "/points/0/id"}, {"op": "remove", "path": "/points/0/freq"},
        {"op": "remove", "path": "/points/0/delay"}, {"op": "replace", "path": "/id", "value": 7},
        {"op": "replace", "path": "/id", "value": "not-a-uuid"},
        {"op": "replace", "path": "/name", "value": null},
        {"op": "replace", "path": "/points", "value": "none"},
        {"op": "replace", "path": "/isFactory", "value": 0},
        {"op": "replace", "path": "/points/0/id", "value": "0F8FAD5B"},
        {"op": "replace", "path": "/points/0/freq", "value": "440"},
        {"op": "replace", "path": "/points/0/delay", "value": 1e39}])");
    std::vector<std::string> bad{"", "[{\"id\":", "{}",
                                 std::string(200000, '[') + std::string(200000, ']')};
    for (const auto& operation : broken)
        bad.push_back(
            ordered_json::array({good, good.patch(ordered_json::array({operation}))}).dump());
    bad.push_back(ordered_json::array({good, ordered_json::array({good})}).dump());
    for (const std::string& text : bad)
        EXPECT_FALSE(decodePresetList(text)) << text.substr(0, 120);

    const auto extra = good.patch(ordered_json::parse(
        R"([{"op": "add", "path": "/colour", "value": 1},
            {"op": "add", "path": "/points/0/colour", "value": 1}])"));
    EXPECT_TRUE(decodePresetList(ordered_json::array({good, extra}).dump()));
}

TEST(FactoryPresetList, FollowsTheFactoryCurvesWithInitOnTheDefaultCurve) {
    const auto& presets = factoryPresetList();
    ASSERT_EQ(presets.size(), std::size(kFactoryCurves));
    for (std::size_t i = 0; i < presets.size(); ++i) {
        EXPECT_TRUE(presets[i].isFactory && presets[i].name == kFactoryCurves[i].name);
        EXPECT_EQ(presets[i].points.size(), kFactoryCurves[i].points.size());
    }
    EXPECT_EQ(presets[0].points, ZerinCurveConstants::defaultCurve()); // same ids too
}

} // namespace
} // namespace zerin
