#include "editor/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/preset_manager.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <functional>

namespace zerin {
namespace {

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
    EXPECT_EQ(manager.snapshotPoints(), ZerinCurveConstants::defaultCurve());
    EXPECT_TRUE(manager.loadResult());
    EXPECT_FALSE(std::filesystem::exists(folder.store)); // loading writes nothing
    EXPECT_EQ(manager.currentPresetName(), "Init");
    manager.setCurrentPresetName("Init");

    Curve curve;
    for (const CurveControlPoint& p : manager.snapshotPoints())
        curve.push_back({Uuid::random(), p.freq, p.delay}); // ids are not compared
    const std::vector<std::pair<std::function<void(Curve&)>, bool>> edits{
        {[](Curve&) {}, false},
        {[](Curve& c) { c[1].freq += 0.005f; }, false},
        {[](Curve& c) { c[1].freq += 0.02f; }, true},
        {[](Curve& c) { c[2].delay -= 0.005f; }, false},
        {[](Curve& c) { c[2].delay -= 0.02f; }, true},
        {[](Curve& c) { c.push_back(c[0]); }, true},
        {[](Curve& c) { std::swap(c[0], c[1]); }, true},
    };
    for (const auto& [edit, dirty] : edits) {
        Curve edited = curve;
        edit(edited);
        manager.updateDirtyState(edited);
        EXPECT_EQ(manager.isDirty(), dirty);
        manager.updateDirtyState(curve);
        EXPECT_FALSE(manager.isDirty());
    }
    EXPECT_EQ(notifications, 8); // only real changes are announced
}

TEST_F(PresetManagerTest, LoadingGivesTheCurveFreshIdsAndACleanSnapshot) {
    const Preset& wash = factoryPresetList()[1];
    Curve curve{{Uuid::random(), 100.0f, 100.0f}};
    manager.updateDirtyState(curve);
    manager.loadPreset(wash, curve);
    EXPECT_EQ(manager.currentPresetName(), wash.name);
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(curve, manager.snapshotPoints());
    ASSERT_EQ(curve.size(), wash.points.size());
    for (std::size_t i = 0; i < curve.size(); ++i)
        EXPECT_TRUE(curve[i].id != wash.points[i].id && curve[i].freq == wash.points[i].freq &&
                    curve[i].delay == wash.points[i].delay);
}

TEST_F(PresetManagerTest, SavingAppliesTheFactoryNameRuleAndOverwritesByName) {
    const Curve first{{Uuid::random(), 50.0f, 500.0f}, {Uuid::random(), 5000.0f, 5.0f}};
    const Curve second{{Uuid::random(), 80.0f, 800.0f}};
    ASSERT_TRUE(manager.savePreset("Granular Haze", first));
    EXPECT_EQ(manager.currentPresetName(), "Granular Haze (User)");
    EXPECT_EQ(manager.snapshotPoints(), first);
    ASSERT_TRUE(manager.savePreset("init", second)); // the rule is case-sensitive
    ASSERT_TRUE(manager.savePreset("Init (User)", second));
    const Uuid hazeId = manager.userPresets()[0].id;

    manager.updateDirtyState(first);
    ASSERT_TRUE(manager.savePreset("Granular Haze", second));
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(manager.userPresets()[0].id, hazeId);
    EXPECT_EQ(manager.userPresets()[0].points, second); // ids included
    PresetManager reopened(store);
    EXPECT_EQ(reopened.userPresets(), manager.userPresets());
    EXPECT_EQ(test::namesOf(reopened.userPresets()),
              (Names{"Granular Haze (User)", "init", "Init (User)"}));
}

TEST_F(PresetManagerTest, DeletingWorksByIdAndLeavesTheCurrentName) {
    for (const char* name : {"A", "B", "A", "C"})
        ASSERT_TRUE(manager.savePreset(name, {}));
    ASSERT_TRUE(manager.deletePreset({manager.userPresets()[2].id, "A", {}, false}));
    EXPECT_EQ(test::namesOf(manager.userPresets()), (Names{"A", "B"}));
    EXPECT_EQ(manager.currentPresetName(), "C");
    // The browser passes an element of the very list the delete replaces.
    ASSERT_TRUE(manager.deletePreset(manager.userPresets()[1]));
    EXPECT_EQ(test::namesOf(PresetManager(store).userPresets()), Names{"A"});
}

} // namespace
} // namespace zerin
