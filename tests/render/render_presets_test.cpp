// The user's presets from the shell: saved and deleted through the real preference file,
// found by --preset after the factory names.

#include "render_cli.h"

#include <gtest/gtest.h>

namespace zerin::test {
namespace {

struct RenderPresets : RenderCli {
    void SetUp() override {
        RenderCli::SetUp();
        writeAudio(dir / "in.wav", noise(1, 6000));
    }
    std::vector<float> byPreset(const std::string& name) {
        return rendered({"in.wav", "--preset", name}).samples;
    }
    std::string store() const { return readText(root / "config" / "preferences.json"); }
};

TEST_F(RenderPresets, ASavedCurveRendersLikeTheCurveItCameFrom) {
    // Saving needs no input and renders nothing.
    const RunResult save = render({"--curve", "100:0,1000:700,8000:300", "--save-preset", "Wide"});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
    EXPECT_NE(store().find("\"Wide\""), std::string::npos);
    EXPECT_EQ(byPreset("Wide"), rendered({"in.wav", "--curve", "100:0,1000:700,8000:300"}).samples);
    const RunResult list = render({"--list-presets"});
    EXPECT_NE(list.out.find("Init (factory)\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Wide (user)\n"), std::string::npos) << list.out;
}

TEST_F(RenderPresets, FactoryNamesWinAndAreNeverOverwritten) {
    // Saving under a factory name stores "<name> (User)"; --preset still means the factory's.
    ASSERT_EQ(render({"--curve", "20:1500,20000:1500", "--save-preset", "Shimmer Wash"}).status, 0);
    EXPECT_NE(render({"--list-presets"}).out.find("Shimmer Wash (User) (user)\n"),
              std::string::npos);
    const std::vector<float> factory = byPreset("Shimmer Wash");
    EXPECT_NE(byPreset("Shimmer Wash (User)"), factory);

    // Saving with --preset and no --curve stores that preset's curve as it is.
    ASSERT_EQ(render({"--preset", "Granular Haze", "--save-preset", "Haze copy"}).status, 0);
    EXPECT_EQ(byPreset("Haze copy"), byPreset("Granular Haze"));
}

TEST_F(RenderPresets, DeletingRemovesOnlyThatPresetAndUnknownNamesAreUsageErrors) {
    ASSERT_EQ(render({"--curve", "100:100,200:200", "--save-preset", "One"}).status, 0);
    ASSERT_EQ(render({"--curve", "100:300,200:400", "--save-preset", "Two"}).status, 0);
    ASSERT_EQ(render({"--delete-preset", "One"}).status, 0);
    const RunResult list = render({"--list-presets"});
    EXPECT_EQ(list.out.find("One (user)"), std::string::npos);
    EXPECT_NE(list.out.find("Two (user)"), std::string::npos);

    const std::string before = store();
    const RunResult missing = render({"--delete-preset", "One"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--delete-preset"), std::string::npos);
    const RunResult unknown = render({"in.wav", "--preset", "One"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Two"), std::string::npos); // the message lists what exists
    EXPECT_EQ(store(), before);
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
}

} // namespace
} // namespace zerin::test
