// The user's presets from the shell: saved and deleted through the real preference file,
// found by --preset after the factory names.

#include "render_cli.h"

#include <cstdlib>

namespace zerin::test {
namespace {

class RenderPresets : public RenderCli {
protected:
    void SetUp() override {
        RenderCli::SetUp();
        config = root / "config";
        Audio noise = silence(1, 6000);
        std::uint32_t s = 7u;
        for (float& x : noise.channels[0]) {
            s = s * 1664525u + 1013904223u;
            x = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
        }
        writeAudio(dir / "in.wav", noise);
    }
    fs::path config;
};

TEST_F(RenderPresets, ASavedCurveRendersLikeTheCurveItCameFrom) {
    // Saving needs no input and renders nothing.
    const RunResult save = render({"--curve", "100:0,1000:700,8000:300", "--save-preset", "Wide"});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
    EXPECT_NE(readText(config / "preferences.json").find("\"Wide\""), std::string::npos);

    const Audio byCurve = rendered({"in.wav", "--curve", "100:0,1000:700,8000:300"}, "a.wav");
    const Audio byPreset = rendered({"in.wav", "--preset", "Wide"}, "b.wav");
    EXPECT_EQ(firstDifference(byCurve.channels[0], byPreset.channels[0]), SIZE_MAX);

    const RunResult list = render({"--list-presets"});
    EXPECT_NE(list.out.find("Init (factory)"), std::string::npos);
    EXPECT_NE(list.out.find("Wide (user)"), std::string::npos);
}

TEST_F(RenderPresets, FactoryNamesWinAndAreNeverOverwritten) {
    // Saving under a factory name stores "<name> (User)"; --preset then still means the
    // factory curve.
    ASSERT_EQ(render({"--curve", "20:1500,20000:1500", "--save-preset", "Shimmer Wash"}).status, 0);
    const RunResult list = render({"--list-presets"});
    EXPECT_NE(list.out.find("Shimmer Wash (User) (user)"), std::string::npos) << list.out;
    const Audio factory = rendered({"in.wav", "--preset", "Shimmer Wash"}, "a.wav");
    const Audio user = rendered({"in.wav", "--preset", "Shimmer Wash (User)"}, "b.wav");
    EXPECT_NE(firstDifference(factory.channels[0], user.channels[0]), SIZE_MAX);

    // Saving with --preset and no --curve stores that preset's curve as it is.
    ASSERT_EQ(render({"--preset", "Granular Haze", "--save-preset", "Haze copy"}).status, 0);
    const Audio copy = rendered({"in.wav", "--preset", "Haze copy"}, "c.wav");
    const Audio haze = rendered({"in.wav", "--preset", "Granular Haze"}, "d.wav");
    EXPECT_EQ(firstDifference(copy.channels[0], haze.channels[0]), SIZE_MAX);
}

TEST_F(RenderPresets, DeletingRemovesOnlyThatPresetAndUnknownNamesAreUsageErrors) {
    ASSERT_EQ(render({"--curve", "100:100,200:200", "--save-preset", "One"}).status, 0);
    ASSERT_EQ(render({"--curve", "100:300,200:400", "--save-preset", "Two"}).status, 0);
    ASSERT_EQ(render({"--delete-preset", "One"}).status, 0);
    const RunResult list = render({"--list-presets"});
    EXPECT_EQ(list.out.find("One (user)"), std::string::npos);
    EXPECT_NE(list.out.find("Two (user)"), std::string::npos);

    const std::string before = readText(config / "preferences.json");
    const RunResult missing = render({"--delete-preset", "One"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--delete-preset"), std::string::npos);
    const RunResult unknown = render({"in.wav", "--preset", "One"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Two"), std::string::npos); // the message lists what exists
    EXPECT_EQ(readText(config / "preferences.json"), before);
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
}

} // namespace
} // namespace zerin::test
