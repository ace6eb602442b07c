#include "dsp/factory_curves.h"
#include "model/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/preset.h"
#include "presets/preset_manager.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace zerin {
namespace {

using nlohmann::ordered_json;

TEST(PresetJson, RoundTripsTheStoredFormAndReadsAnEarlierOneAsAWholeSet) {
    // As an earlier Zerin stored them: upper-case ids, keys in this order, each float in the
    // fewest digits that read back, one delay curve.
    const std::string text =
        R"([{"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"Wash \"2\"","points":[)"
        R"({"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","freq":440.5,"delay":0.1},)"
        R"({"id":"16FD2706-8BAF-433B-82EB-8C7FADA847DA","freq":20000.0,"delay":2000.0}],)"
        R"("isFactory":false},{"id":"00000000-0000-4000-8000-000000000001","name":"",)"
        R"("points":[],"isFactory":true}])";
    const auto list = decodePresetList(text);
    ASSERT_TRUE(list && list->size() == 2);
    EXPECT_TRUE((*list)[0].name == "Wash \"2\"" && (*list)[0].points()[0].freq == 440.5f &&
                (*list)[0].points()[0].value == 0.1f && (*list)[1].isFactory);
    EXPECT_EQ((*list)[0].points()[1].id, Uuid::parse("16fd2706-8baf-433b-82eb-8c7fada847da"));
    // Read as both slots' delay curve, with flat feedback.
    const CurveSetPoints& wash = (*list)[0].curves;
    const ControlCurve& b = wash.at(CurveSlot::b, CurveKind::delay);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_TRUE(b[1].freq == 20000.0f && b[1].value == 2000.0f);
    EXPECT_EQ(decodePresetList(text), list) << "read the same every time";
    for (const CurveSlot slot : {CurveSlot::a, CurveSlot::b}) {
        const ControlCurve& flat = wash.at(slot, CurveKind::feedback);
        EXPECT_TRUE(flat.size() == 1 && flat[0].freq == 1000.0f && flat[0].value == 100.0f);
    }
    // Written whole, the earlier form first, and read back as it was.
    const auto text2 = encodePresetList(*list);
    ASSERT_TRUE(text2);
    EXPECT_EQ(text2->rfind(text.substr(0, 200), 0), 0u);
    EXPECT_NE(text2->find(R"("isFactory":false,"feedbackPoints":[{"id":")"), std::string::npos);
    EXPECT_NE(text2->find(R"("freq":1000.0,"feedback":100.0}])"), std::string::npos);
    EXPECT_EQ(decodePresetList(*text2), list);
    // Feedback beyond 0..100 % reads as its limit.
    std::string hot = *text2;
    hot.replace(hot.find(R"("feedback":100.0)"), 16, R"("feedback":250.0)");
    EXPECT_EQ((*decodePresetList(hot))[0].curves.at(CurveSlot::a, CurveKind::feedback)[0].value,
              100.0f);
}

TEST(PresetJson, DecodingIsAllOrNothingAndIgnoresUnknownKeys) {
    const ordered_json good = toJson(presetOfDelayCurve("A", {{}}));
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
        EXPECT_EQ(presets[i].points().size(), kFactoryCurves[i].points.size());
    }
    EXPECT_EQ(presets[0].points(), ZerinCurveConstants::defaultCurve()); // same ids too
}

using Curve = std::vector<CurveControlPoint>;
using Names = std::vector<std::string>;

class PresetManagerTest : public testing::Test {
protected:
    test::TempFolder folder;
    PreferenceStore store{folder.path};
    PresetManager manager{store};
    int notifications = 0;
    Subscription subscription = manager.observe([this] { ++notifications; });
};

TEST_F(PresetManagerTest, StartsCleanAtInitAndIsDirtyWhenAPointMovesPastTheTolerance) {
    EXPECT_TRUE(manager.userPresets().empty());
    EXPECT_EQ(manager.snapshotPoints(), setOfDelayCurve(ZerinCurveConstants::defaultCurve()));
    EXPECT_TRUE(manager.loadResult());
    EXPECT_FALSE(std::filesystem::exists(folder.store)); // loading writes nothing
    EXPECT_EQ(manager.currentPresetName(), "Init");
    manager.setCurrentPresetName("Init");

    CurveSetPoints curves = manager.snapshotPoints();
    for (auto& slot : curves.curves)
        for (Curve& c : slot)
            for (CurveControlPoint& p : c)
                p.id = Uuid::random(); // ids are not compared
    using Edit = std::function<void(CurveSetPoints&)>;
    const auto delayA = [](CurveSetPoints& s) -> Curve& {
        return s.at(CurveSlot::a, CurveKind::delay);
    };
    const std::vector<std::pair<Edit, bool>> edits{
        {[](CurveSetPoints&) {}, false},
        {[&](CurveSetPoints& s) { delayA(s)[1].freq += 0.005f; }, false},
        {[&](CurveSetPoints& s) { delayA(s)[1].freq += 0.02f; }, true},
        {[&](CurveSetPoints& s) { delayA(s)[2].value -= 0.005f; }, false},
        {[&](CurveSetPoints& s) { delayA(s)[2].value -= 0.02f; }, true},
        {[&](CurveSetPoints& s) { delayA(s).push_back(delayA(s)[0]); }, true},
        {[&](CurveSetPoints& s) { std::swap(delayA(s)[0], delayA(s)[1]); }, true},
        // Every curve of the set counts, not only the one an earlier Zerin kept.
        {[](CurveSetPoints& s) { s.at(CurveSlot::a, CurveKind::feedback)[0].value = 50.0f; }, true},
        {[](CurveSetPoints& s) { s.at(CurveSlot::b, CurveKind::delay)[3].value += 1.0f; }, true},
        {[](CurveSetPoints& s) { s.at(CurveSlot::b, CurveKind::feedback).clear(); }, true},
    };
    for (const auto& [edit, dirty] : edits) {
        CurveSetPoints edited = curves;
        edit(edited);
        manager.updateDirtyState(edited);
        EXPECT_EQ(manager.isDirty(), dirty);
        manager.updateDirtyState(curves);
        EXPECT_FALSE(manager.isDirty());
    }
    EXPECT_EQ(notifications, 14); // only real changes are announced
}

TEST_F(PresetManagerTest, LoadingGivesTheCurveFreshIdsAndACleanSnapshot) {
    const Preset& wash = factoryPresetList()[1];
    CurveSetPoints curves = setOfDelayCurve({{Uuid::random(), 100.0f, 100.0f}});
    manager.updateDirtyState(curves);
    manager.loadPreset(wash, curves);
    EXPECT_EQ(manager.currentPresetName(), wash.name);
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(curves, manager.snapshotPoints());
    const Curve& curve = curves.at(CurveSlot::a, CurveKind::delay);
    ASSERT_EQ(curve.size(), wash.points().size());
    for (std::size_t i = 0; i < curve.size(); ++i)
        EXPECT_TRUE(curve[i].id != wash.points()[i].id && curve[i].freq == wash.points()[i].freq &&
                    curve[i].value == wash.points()[i].value);
}

TEST_F(PresetManagerTest, SavingAppliesTheFactoryNameRuleAndOverwritesByName) {
    const Curve first{{Uuid::random(), 50.0f, 500.0f}, {Uuid::random(), 5000.0f, 5.0f}};
    const Curve second{{Uuid::random(), 80.0f, 800.0f}};
    ASSERT_TRUE(manager.savePreset("Granular Haze", setOfDelayCurve(first)));
    EXPECT_EQ(manager.currentPresetName(), "Granular Haze (User)");
    EXPECT_EQ(manager.snapshotPoints(), setOfDelayCurve(first));
    ASSERT_TRUE(manager.savePreset("init", setOfDelayCurve(second))); // the rule is case-sensitive
    ASSERT_TRUE(manager.savePreset("Init (User)", setOfDelayCurve(second)));
    const Uuid hazeId = manager.userPresets()[0].id;

    manager.updateDirtyState(setOfDelayCurve(first));
    ASSERT_TRUE(manager.savePreset("Granular Haze", setOfDelayCurve(second)));
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(manager.userPresets()[0].id, hazeId);
    EXPECT_EQ(manager.userPresets()[0].points(), second); // ids included
    PresetManager reopened(store);
    EXPECT_EQ(reopened.userPresets(), manager.userPresets());
    EXPECT_EQ(test::namesOf(reopened.userPresets()),
              (Names{"Granular Haze (User)", "init", "Init (User)"}));
}

TEST_F(PresetManagerTest, DeletingWorksByIdAndLeavesTheCurrentName) {
    for (const char* name : {"A", "B", "A", "C"})
        ASSERT_TRUE(manager.savePreset(name, CurveSetPoints{}));
    ASSERT_TRUE(manager.deletePreset({manager.userPresets()[2].id, "A", {}, false}));
    EXPECT_EQ(test::namesOf(manager.userPresets()), (Names{"A", "B"}));
    EXPECT_EQ(manager.currentPresetName(), "C");
    // The browser passes an element of the very list the delete replaces.
    ASSERT_TRUE(manager.deletePreset(manager.userPresets()[1]));
    EXPECT_EQ(test::namesOf(PresetManager(store).userPresets()), Names{"A"});
}

// Another writer (here a second manager on the same file, as another editor process holds
// one) replaces the file: the first one sees it at its next look, and only then.
TEST_F(PresetManagerTest, ReloadsOnlyWhenAnotherWriterChangedTheStore) {
    EXPECT_FALSE(manager.reloadIfChanged()); // no file, none before
    PresetManager other{store};
    ASSERT_TRUE(other.savePreset("Theirs", CurveSetPoints{}));
    EXPECT_TRUE(manager.userPresets().empty());
    EXPECT_TRUE(manager.reloadIfChanged());
    EXPECT_EQ(test::namesOf(manager.userPresets()), Names{"Theirs"});
    EXPECT_FALSE(manager.reloadIfChanged());
    // Its own write is no reason to miss one that follows at once.
    ASSERT_TRUE(manager.savePreset("Mine", CurveSetPoints{}));
    ASSERT_TRUE(other.savePreset("Theirs 2", CurveSetPoints{}));
    EXPECT_TRUE(manager.reloadIfChanged());
    EXPECT_EQ(test::namesOf(manager.userPresets()), (Names{"Theirs", "Mine", "Theirs 2"}));
}

TEST_F(PresetManagerTest, ARestoredPresetComesBackWholeInItsPlaceAndNeverTwice) {
    const CurveSetPoints curves = setOfDelayCurve({{Uuid::random(), 300.0f, 30.0f}});
    for (const char* name : {"A", "B", "C"})
        ASSERT_TRUE(manager.savePreset(name, curves));
    const std::vector<Preset> before = manager.userPresets();
    ASSERT_TRUE(manager.deletePreset(before[1]));
    ASSERT_TRUE(manager.restoreUserPreset(before[1], 1));
    EXPECT_EQ(PresetManager(store).userPresets(), before);
    ASSERT_TRUE(manager.restoreUserPreset(before[1], 1)); // already there: nothing changes
    EXPECT_EQ(manager.userPresets(), before);
    // A name saved again meanwhile keeps its new curves; past the end goes to the end.
    ASSERT_TRUE(manager.deletePreset(before[0]));
    ASSERT_TRUE(manager.savePreset("A", CurveSetPoints{}));
    ASSERT_TRUE(manager.restoreUserPreset(before[0], 0));
    EXPECT_EQ(test::namesOf(manager.userPresets()), (Names{"B", "C", "A"}));
    EXPECT_NE(manager.userPresets()[2].id, before[0].id);
    ASSERT_TRUE(manager.deletePreset(before[2]));
    ASSERT_TRUE(manager.restoreUserPreset(before[2], 99));
    EXPECT_EQ(manager.userPresets().back(), before[2]);
}

} // namespace
} // namespace zerin
