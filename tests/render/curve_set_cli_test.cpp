// The curve set from the command line: each curve by its option, the morph between them, its
// automation, and values the options refuse.

#include "render_cli.h"

#include <nlohmann/json.hpp>

namespace zerin::test {
namespace {

TEST_F(RenderCli, EachCurveOfTheSetHasItsOptionAndMorphReachesSlotB) {
    writeAudio(dir / "in.wav", noise(2, 30000));
    const std::string b = "--curve-b 90:1200,3000:40 --feedback-curve-b 200:10,4000:90";
    const Audio atB = rendered(words("in.wav --tail 0.5 --curve 500:300 --set morph=100 " + b +
                                     " --set feedback=70 --save-state set.json"));
    const auto state = nlohmann::json::parse(readText(dir / "set.json"));
    EXPECT_EQ(
        state["curveSet"]["b"]["delay"],
        nlohmann::json::parse(R"([{"freq": 90, "delay": 1200}, {"freq": 3000, "delay": 40}])"));
    EXPECT_EQ(state["curveSet"]["b"]["feedback"][1],
              nlohmann::json::parse(R"({"freq": 4000, "feedback": 90})"));
    EXPECT_EQ(state["parameters"]["morph"], 100);
    // Wholly at B, the render is B's curves alone, to the bit.
    const Audio onlyB =
        rendered(words("in.wav --tail 0.5 --curve 90:1200,3000:40 --feedback-curve 200:10,4000:90 "
                       "--set feedback=70"));
    EXPECT_EQ(atB.samples, onlyB.samples);
    // And the state plays it again.
    EXPECT_EQ(rendered(words("in.wav --tail 0.5 --state set.json")).samples, atB.samples);

    // Morph automated across the render lands on its exact sample, whatever the block size.
    std::ofstream(dir / "sweep.json") << R"([{"sample": 0, "id": "morph", "value": 0},
        {"sample": 9000, "id": "morph", "value": 60}, {"time": 0.4, "id": "curveShift", "value": 7},
        {"sample": 20000, "id": "curveScale", "value": 150}])";
    const std::string swept = "in.wav --tail 0.3 --curve 500:300 " + b + " --automation sweep.json";
    const Audio whole = rendered(words(swept + " --block-size 512"));
    EXPECT_EQ(rendered(words(swept + " --block-size 37")).samples, whole.samples);
    EXPECT_NE(whole.samples, rendered(words("in.wav --tail 0.3 --curve 500:300 " + b)).samples);
}

TEST_F(RenderCli, AUserPresetKeepsTheWholeSet) {
    writeAudio(dir / "in.wav", noise(2, 4000));
    const RunResult saved = render(
        words("--curve 50:700 --curve-b 100:900 --feedback-curve 300:40 --save-preset Twin"));
    ASSERT_EQ(saved.status, 0) << saved.err;
    rendered(words("in.wav --tail 0 --preset Twin --save-state s.json"));
    const auto curves = nlohmann::json::parse(readText(dir / "s.json"))["curveSet"];
    EXPECT_EQ(curves["a"]["delay"], nlohmann::json::parse(R"([{"freq": 50, "delay": 700}])"));
    EXPECT_EQ(curves["b"]["delay"], nlohmann::json::parse(R"([{"freq": 100, "delay": 900}])"));
    EXPECT_EQ(curves["a"]["feedback"], nlohmann::json::parse(R"([{"freq": 300, "feedback": 40}])"));
    EXPECT_EQ(curves["b"]["feedback"],
              nlohmann::json::parse(R"([{"freq": 1000, "feedback": 100}])"));
}

TEST_F(RenderCli, CurveOptionsRefuseWhatTheyCannotUseAndSayWhich) {
    writeAudio(dir / "in.wav", noise(2, 4000));
    for (const auto& [args, says] : std::initializer_list<std::pair<const char*, const char*>>{
             {"--feedback-curve 100:150", "--feedback-curve: curve point \"100:150\": the "
                                          "feedback must be within 0 to 100 %"},
             {"--feedback-curve-b 100:-1", "--feedback-curve-b: curve point \"100:-1\""},
             {"--curve-b 100", "--curve-b: curve point \"100\" is not HZ:MS"},
             {"--feedback-curve 0:50", "the frequency must be above 0 Hz"},
             {"--set morph=101", "morph"},
             {"--set curveShift=25", "curveShift"}}) {
        const RunResult run = render(words(std::string("in.wav -o out.wav ") + args));
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << args;
    }
}

} // namespace
} // namespace zerin::test
