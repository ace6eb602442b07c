#include "editor/curve_model.h"
#include "presets/factory_presets.h"
#include "presets/preset_manager.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

namespace zerin {
namespace {

using Curve = std::vector<CurveControlPoint>;

std::vector<std::string> namesOf(const std::vector<Preset>& presets) {
    std::vector<std::string> names;
    for (const Preset& p : presets)
        names.push_back(p.name);
    return names;
}

Curve withFreshIds(const Curve& curve) {
    Curve copy;
    for (const CurveControlPoint& p : curve)
        copy.push_back({Uuid::random(), p.freq, p.delay});
    return copy;
}

class PresetManagerTest : public testing::Test {
protected:
    test::TempFolder folder;
    PreferenceStore store{folder.path()};
};

TEST_F(PresetManagerTest, StartsCleanAtInitAndWritesNothing) {
    PresetManager manager(store);
    EXPECT_TRUE(manager.userPresets().empty());
    EXPECT_EQ(manager.currentPresetName(), "Init");
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(manager.snapshotPoints(), ZerinCurveConstants::defaultCurve());
    EXPECT_TRUE(manager.loadResult());
    EXPECT_FALSE(std::filesystem::exists(folder.store()));
}

TEST_F(PresetManagerTest, DirtyTrackingIsPositionalWithinTolerance) {
    PresetManager manager(store);
    Curve curve = withFreshIds(manager.snapshotPoints()); // ids are not compared
    manager.updateDirtyState(curve);
    EXPECT_FALSE(manager.isDirty());

    const auto expectDirtyAfter = [&](auto edit, bool dirty) {
        Curve edited = curve;
        edit(edited);
        manager.updateDirtyState(edited);
        EXPECT_EQ(manager.isDirty(), dirty);
        manager.updateDirtyState(curve);
        EXPECT_FALSE(manager.isDirty());
    };
    expectDirtyAfter([](Curve& c) { c[1].freq += 0.005f; }, false);
    expectDirtyAfter([](Curve& c) { c[1].freq += 0.02f; }, true);
    expectDirtyAfter([](Curve& c) { c[2].delay -= 0.005f; }, false);
    expectDirtyAfter([](Curve& c) { c[2].delay -= 0.02f; }, true);
    expectDirtyAfter([](Curve& c) { c.push_back({Uuid::random(), 300.0f, 10.0f}); }, true);
    expectDirtyAfter([](Curve& c) { std::swap(c[0], c[1]); }, true);
    expectDirtyAfter([](Curve& c) { c.clear(); }, true);
}

TEST_F(PresetManagerTest, LoadingGivesFreshIdsAndACleanSnapshot) {
    PresetManager manager(store);
    const Preset& wash = factoryPresetList()[1];
    const Curve washPoints = wash.points;
    Curve curve{{Uuid::random(), 100.0f, 100.0f}};
    manager.updateDirtyState(curve);
    ASSERT_TRUE(manager.isDirty());

    manager.loadPreset(wash, curve);
    EXPECT_EQ(manager.currentPresetName(), "Shimmer Wash");
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(curve, manager.snapshotPoints()); // the same fresh ids
    ASSERT_EQ(curve.size(), washPoints.size());
    for (std::size_t i = 0; i < curve.size(); ++i) {
        EXPECT_NE(curve[i].id, washPoints[i].id);
        EXPECT_EQ(curve[i].freq, washPoints[i].freq);
        EXPECT_EQ(curve[i].delay, washPoints[i].delay);
    }
    EXPECT_EQ(wash.points, washPoints);
}

TEST_F(PresetManagerTest, SavingAppliesTheFactoryNameRuleAndOverwritesByName) {
    PresetManager manager(store);
    int notifications = 0;
    const Subscription subscription = manager.observe([&] { ++notifications; });
    const Curve first{{Uuid::random(), 50.0f, 500.0f}, {Uuid::random(), 5000.0f, 5.0f}};
    const Curve second{{Uuid::random(), 80.0f, 800.0f}};

    ASSERT_TRUE(manager.savePreset("Granular Haze", first));
    EXPECT_EQ(manager.currentPresetName(), "Granular Haze (User)");
    EXPECT_EQ(manager.snapshotPoints(), first);
    EXPECT_GT(notifications, 0);
    ASSERT_TRUE(manager.savePreset("init", second));
    ASSERT_TRUE(manager.savePreset("Init (User)", second));
    const Uuid hazeId = manager.userPresets()[0].id;

    manager.updateDirtyState(first);
    ASSERT_TRUE(manager.isDirty());
    ASSERT_TRUE(manager.savePreset("Granular Haze", second));
    EXPECT_FALSE(manager.isDirty());
    EXPECT_EQ(namesOf(manager.userPresets()),
              (std::vector<std::string>{"Granular Haze (User)", "init", "Init (User)"}));
    EXPECT_EQ(manager.userPresets()[0].id, hazeId);
    EXPECT_EQ(manager.userPresets()[0].points, second); // ids included
    for (const Preset& p : manager.userPresets())
        EXPECT_FALSE(p.isFactory);

    PresetManager reopened(store);
    EXPECT_EQ(reopened.userPresets(), manager.userPresets());
    EXPECT_EQ(reopened.currentPresetName(), "Init");
}

TEST_F(PresetManagerTest, DeletingWorksByIdAndLeavesTheCurrentName) {
    PresetManager manager(store);
    const Curve curve{{Uuid::random(), 50.0f, 500.0f}};
    for (const char* name : {"A", "B", "A", "C"})
        ASSERT_TRUE(manager.savePreset(name, curve));
    const Preset b = manager.userPresets()[1];
    const Preset c = manager.userPresets()[2];

    ASSERT_TRUE(manager.deletePreset(c));
    EXPECT_EQ(namesOf(manager.userPresets()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(manager.currentPresetName(), "C");
    EXPECT_FALSE(manager.isDirty());

    // The browser passes an element of the very list the delete replaces.
    ASSERT_TRUE(manager.deletePreset(manager.userPresets()[1]));
    EXPECT_EQ(namesOf(manager.userPresets()), (std::vector<std::string>{"A"}));

    std::filesystem::remove(folder.store());
    ASSERT_TRUE(manager.deletePreset(b)); // unknown id: the store is still written
    EXPECT_NE(test::readText(folder.store()).find(R"("VeskUserPresets":[])"), std::string::npos);
}

TEST_F(PresetManagerTest, NotifiesOnlyWhenSomethingChanges) {
    PresetManager manager(store);
    int notifications = 0;
    Subscription subscription = manager.observe([&] { ++notifications; });
    manager.setCurrentPresetName("Init");
    manager.updateDirtyState(manager.snapshotPoints());
    EXPECT_EQ(notifications, 0);

    manager.setCurrentPresetName("Other");
    EXPECT_EQ(notifications, 1);
    subscription.cancel();
    manager.setCurrentPresetName("Third");
    EXPECT_EQ(notifications, 1);

    // Cancelling from inside a notification, including another subscriber, is safe.
    Subscription second;
    Subscription first = manager.observe([&] {
        ++notifications;
        second.cancel();
    });
    second = manager.observe([&] { notifications += 100; });
    manager.setCurrentPresetName("Fourth");
    EXPECT_EQ(notifications, 2);
}

TEST_F(PresetManagerTest, AFailedSaveChangesNothingAndNamesTheFile) {
    PresetManager manager(store);
    ASSERT_TRUE(manager.savePreset("Kept", {}));
    const auto before = manager.userPresets();

    // A folder that cannot be created: its parent is a plain file.
    test::writeText(folder.path() / "plain", "x");
    PresetManager blocked(PreferenceStore(folder.path() / "plain" / "zerin"));
    const Curve curve{{Uuid::random(), 50.0f, 500.0f}};
    blocked.updateDirtyState(curve);
    const StoreResult result = blocked.savePreset("Lost", curve);
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find((folder.path() / "plain").string()), std::string::npos);
    EXPECT_EQ(blocked.currentPresetName(), "Init");
    EXPECT_TRUE(blocked.isDirty());
    EXPECT_TRUE(blocked.userPresets().empty());

    // A name that cannot be encoded fails the same way and leaves the store as it was.
    EXPECT_FALSE(manager.savePreset("bad \xff", curve));
    EXPECT_EQ(manager.userPresets(), before);
    EXPECT_EQ(PresetManager(store).userPresets(), before);
}

} // namespace
} // namespace zerin
